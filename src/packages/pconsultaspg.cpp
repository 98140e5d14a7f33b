#include "packages/pconsultaspg.h"

#include "database/session.h"
#include "packages/view_package.h"
#include "runtime/convert.h"
#include "runtime/text.h"

namespace kalu {

namespace {

// A name as it can stand in a log line: control characters shown as "?".
std::string Printable(std::string_view text) {
  std::string out(text.substr(0, 120));
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return out;
}

}  // namespace

void PCONSULTASPG::Run(const std::string& document, const std::string& option) {
  ctx_.session.ClearError();
  reader_.Open(document);
  if (reader_.ErrCode() >= 1) {
    ShowReaderError();
    ProcedureEpilogue(ctx_, /*commit=*/false);
    return;
  }

  const bool create = RTrim(option) == "C";
  if (reader_.ReadType(XmlReader::kElement, "SQL_PG") >= 1) {
    for (;;) {
      name_.clear();
      text_.clear();
      bool complete = false;
      while (!complete && ReadViewNode(reader_, name_, text_) >= 1) {
        complete = !name_.empty() && !text_.empty();
      }
      if (!complete) break;

      // The name goes into the statement's text: anything but a plain name is left out.
      if (!IsPlainViewName(name_)) {
        ctx_.log.Line("PCONSULTASPG: se omite la consulta de nombre no válido \"" +
                      Printable(name_) + "\"");
        continue;
      }
      if (!create) {
        Progress(ctx_, "Borrando Consulta " + name_ + " ...");
        for (StoreView& view : ViewsDroppedWith(ctx_.session, name_)) {
          taken_.push_back(std::move(view));
        }
        Execute("DROP VIEW " + name_ + " CASCADE", document, option);
      } else {
        Progress(ctx_, "Creando Consulta " + name_ + " ...");
        ZQActiveErrHndl_ = 1;
        Execute("CREATE OR REPLACE VIEW " + name_ + " AS " + text_, document, option);
        ZQActiveErrHndl_ = 0;
      }
      ctx_.steps.AddRows(1);
    }
  }
  // A document that breaks off after it was opened tells it the same way.
  if (reader_.ErrCode() >= 1) ShowReaderError();

  Progress(ctx_, "");
  ProcedureEpilogue(ctx_, /*commit=*/false);
}

// The views were not all dropped or created again: the message, and the step fails.
void PCONSULTASPG::ShowReaderError() {
  const std::string text =
      "Error:" + NumberToText(reader_.ErrCode(), 10, 0) + " " + reader_.ErrDescription();
  ctx_.display.ShowMessage(text);
  ctx_.steps.Fault(text);
}

void PCONSULTASPG::Execute(const std::string& sql, const std::string& document,
                           const std::string& option) {
  CheckOnly(ctx_.session.ExecImmediate(kApp, sql), document, option);
}

void PCONSULTASPG::CheckOnly(int16_t status, const std::string& document,
                             const std::string& option) {
  ctx_.session.Check(status);
  EHFY0(ZQActiveErrHndl_, document, option);
}

void PCONSULTASPG::EHFY0(int16_t& ZQActiveErrHndl, const std::string& document,
                         const std::string& option) {
  if (ctx_.session.ErrorCode() != 0 && ZQActiveErrHndl == 1) U11FY1(document, option);
  ctx_.session.React();
}

void PCONSULTASPG::U11FY1([[maybe_unused]] const std::string& document,
                          [[maybe_unused]] const std::string& option) {
  const int16_t code = ctx_.session.ErrorCode();
  if (code <= 500) {
    ctx_.display.ShowMessage("Codigo de Error Interno:" + NumberToText(code, 4, 0));
  } else {
    ctx_.display.ShowMessage("Error:" + NumberToText(ctx_.session.NativeCode(), 5, 0) + " " +
                             ctx_.session.ErrorText());
  }
  ctx_.session.SetCheckAction(CheckAction::Handle);
}

}  // namespace kalu
