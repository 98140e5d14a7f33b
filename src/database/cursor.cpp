#include "database/cursor.h"

#include <utility>

#include "runtime/errors.h"
#include "runtime/text.h"

namespace kalu {

std::string CharKey(std::string_view value, int width) {
  value = value.substr(0, value.find('\0'));
  std::string key = CutToChars(value, static_cast<std::size_t>(width));
  key.erase(key.find_last_not_of(' ') + 1);
  return key;
}

Cursor::Cursor(Session& session, std::string_view app, std::string_view id, std::string_view sql,
               CursorKind kind, CheckRoutine check)
    : session_(session), id_(id), check_(std::move(check)) {
  session_.EnsureConnected();
  ZQData& lib = session_.Library();
  if (!lib.ZQ_DB_StmtIsDef(session_.Handle(), id, stmt_)) {
    Checked(lib.ZQ_DB_Declare_StmtEx(session_.Handle(), app, id, "", static_cast<int16_t>(kind),
                                     stmt_));
    Checked(lib.ZQ_DB_Set_StmtCmdText(stmt_, sql));
  }
}

Cursor::~Cursor() {
  if (stmt_ >= 0) session_.Library().ZQ_DB_SetClosable(stmt_);
}

Cursor::Cursor(Cursor&& other) noexcept
    : session_(other.session_),
      id_(std::move(other.id_)),
      stmt_(std::exchange(other.stmt_, -1)),
      check_(std::move(other.check_)),
      lastCode_(other.lastCode_) {}

int16_t Cursor::Checked(int16_t status) {
  lastCode_ = check_ ? check_(status) : session_.CheckAndReact(status);
  return lastCode_;
}

void Cursor::Require(int16_t status, const char* what, int n) {
  if (status == kDbOk) return;
  Raise(kErrFatalDatabase,
        std::string("El cursor ") + id_ + " no tiene " + what + " " + std::to_string(n));
}

Cursor& Cursor::SetInt16(int n, int16_t value) {
  Require(session_.Library().ZQ_DB_SetInt(stmt_, n, value), "el parámetro", n);
  return *this;
}
Cursor& Cursor::SetInt32(int n, int32_t value) {
  Require(session_.Library().ZQ_DB_SetLong(stmt_, n, value), "el parámetro", n);
  return *this;
}
Cursor& Cursor::SetInt64(int n, int64_t value) {
  Require(session_.Library().ZQ_DB_SetInt64(stmt_, n, value), "el parámetro", n);
  return *this;
}
Cursor& Cursor::SetDouble(int n, double value) {
  Require(session_.Library().ZQ_DB_SetDouble(stmt_, n, value), "el parámetro", n);
  return *this;
}
Cursor& Cursor::SetDecimal(int n, Fixed4 value) {
  Require(session_.Library().ZQ_DB_SetDecimalText(stmt_, n, value.ToText()), "el parámetro", n);
  return *this;
}
Cursor& Cursor::SetText(int n, std::string_view value, int width) {
  Require(session_.Library().ZQ_DB_SetStr(stmt_, n, value, width), "el parámetro", n);
  return *this;
}

Cursor& Cursor::SetTextList(int n, std::span<const std::string> values, int width) {
  std::string array = "{";
  for (const std::string& value : values) {
    if (array.size() > 1) array += ',';
    array += '"';
    for (char c : CutToChars(value.substr(0, value.find('\0')), static_cast<std::size_t>(width))) {
      if (c == '"' || c == '\\') array += '\\';
      array += c;
    }
    array += '"';
  }
  array += '}';
  Require(session_.Library().ZQ_DB_SetStr(stmt_, n, array, 0), "el parámetro", n);
  return *this;
}

Cursor& Cursor::SetDate(int n, DateValue value) {
  return SetText(n, SqlDateText(value), 10);
}

Cursor& Cursor::SetDateTime(int n, DateValue value) {
  return SetText(n, SqlDateTimeText(value), 19);
}

bool Cursor::FetchFirst() {
  return Checked(session_.Library().ZQ_DB_StmtFetchFirst(stmt_)) != kCodeNotFound;
}
bool Cursor::FetchNext() {
  return Checked(session_.Library().ZQ_DB_StmtFetchNext(stmt_)) != kCodeNotFound;
}
void Cursor::Execute() {
  Checked(session_.Library().ZQ_DB_StmtExecute(stmt_));
}
void Cursor::Close() {
  Checked(session_.Library().ZQ_DB_SetClosable(stmt_));
}

int16_t Cursor::Int16(int column) {
  int16_t value = 0, ind = 0;
  Require(session_.Library().ZQ_DB_GetColInt(stmt_, column, value, ind), "la columna", column);
  return value;
}
int32_t Cursor::Int32(int column) {
  int32_t value = 0;
  int16_t ind = 0;
  Require(session_.Library().ZQ_DB_GetColLong(stmt_, column, value, ind), "la columna", column);
  return value;
}
double Cursor::Double(int column) {
  double value = 0;
  int16_t ind = 0;
  Require(session_.Library().ZQ_DB_GetColDouble(stmt_, column, value, ind), "la columna", column);
  return value;
}
Fixed4 Cursor::Decimal(int column) {
  std::string text;
  int16_t ind = 0;
  Require(session_.Library().ZQ_DB_GetColStr(stmt_, column, text, ind), "la columna", column);
  return ind < 0 ? Fixed4() : Fixed4::FromText(text);
}
std::string Cursor::Text(int column) {
  std::string text;
  int16_t ind = 0;
  Require(session_.Library().ZQ_DB_GetColStr(stmt_, column, text, ind), "la columna", column);
  return RTrim(text);
}
DateValue Cursor::Date(int column) {
  std::string text = Text(column);
  return text.empty() ? kEmptyDate : DateFromIsoText(text);
}
DateValue Cursor::DateTime(int column) {
  std::string text = Text(column);
  return text.empty() ? kEmptyDate : DateTimeFromIsoText(text);
}

}  // namespace kalu
