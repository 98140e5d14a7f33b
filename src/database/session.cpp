#include "database/session.h"

#include "database/lock_holders.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace kalu {

namespace {
constexpr const char* kConnName = "Default";
constexpr const char* kUser = "zovizazir";
constexpr const char* kPassword = "t29r$HHvb";
}  // namespace

Session::Session(std::string connectionData, std::string fileDsn)
    : connectionData_(std::move(connectionData)), fileDsn_(std::move(fileDsn)) {}

void Session::Initialize() {
  if (initialized_) return;
  int16_t one = 1;
  int16_t status = lib_.ZQ_DB_Init(one);
  handle_ = -1;
  if (status != 0) Raise(kErrInitFailed, "Unable to initialize C/S DLL");
  initialized_ = true;
}

void Session::EnsureConnected() {
  Initialize();
  if (connected_) return;
  ConfigCheck(lib_.ZQ_DB_Declare_Conn(kConnName, 1));
  ConfigCheck(lib_.ZQ_DB_ConnSetFileDSName(kConnName, fileDsn_));
  ConfigCheck(lib_.ZQ_DB_ConnSetPrompt(kConnName, 3));
  ConfigCheck(lib_.ZQ_DB_ConnSetIsolation(kConnName, 2));
  ConfigCheck(lib_.ZQ_DB_ConnSetConnData(kConnName, connectionData_));
  ConfigCheck(lib_.ZQ_DB_ConnSetTrnInt(kConnName, 1));
  ConfigCheck(lib_.ZQ_DB_ConnSetUserId(kConnName, kUser));
  ConfigCheck(lib_.ZQ_DB_ConnSetPassword(kConnName, kPassword));
  CheckAndReact(lib_.ZQ_DB_Connect(kConnName, handle_));
  connected_ = true;
}

void Session::End() {
  if (initialized_) lib_.ZQ_DB_End();
  initialized_ = false;
  connected_ = false;
  handle_ = -1;
}

void Session::ClearError() {
  checkAction_ = CheckAction::None;
  errorText_.clear();
  nativeCode_ = 0;
}

int16_t Session::Check(int16_t status) {
  errorCode_ = kCodeOk;
  nativeCode_ = 0;
  checkAction_ = CheckAction::None;
  errorText_.clear();

  int32_t code = status;
  if (status == 1) {
    nativeCode_ = 1;
    std::string text1, text2;
    lib_.ZQ_DB_GetFirstConnError(handle_, text1, text2, nativeCode_);
    errorText_ =
        text1 + "\r\n" + Trim(text2) + "\r\n" + "Native Code: " + std::to_string(nativeCode_);
    code = nativeCode_;
  }
  if (status == 1 && code == 0) {
    errorCode_ = kCodeFailure;
    checkAction_ = CheckAction::Handle;
    return errorCode_;
  }
  switch (code) {
    case 0:
      break;
    case kNativeAlreadyInPlace:  // the effect is in place already: the failure is dropped
      nativeCode_ = 0;
      errorText_.clear();
      break;
    case 100:
      errorCode_ = kCodeNotFound;
      checkAction_ = CheckAction::Handle;
      break;
    case -1:
    case 110:
      errorCode_ = kCodeFailure;
      checkAction_ = CheckAction::Handle;
      errorText_ = ToLower(errorText_);
      break;
    default:
      errorCode_ = kCodeFailure;
      checkAction_ = CheckAction::Handle;
      nativeCode_ = code;
      break;
  }
  return errorCode_;
}

std::string Session::FatalText(int32_t nativeCode, const std::string& errorText) {
  std::string native = (nativeCode >= 0 ? " " : "") + std::to_string(nativeCode);
  const std::string module;  // never set
  return "Error code: " + native + " in " + module + " Text is: '" + errorText + "'.";
}

void Session::React() {
  if (checkAction_ != CheckAction::Handle) return;
  checkAction_ = CheckAction::None;
  if (errorCode_ == 1 || errorCode_ == kCodeNotFound) return;
  std::string text = FatalText(nativeCode_, errorText_);
  // A lock not granted in time: the operator learns who holds it, read while it is held.
  if (errorText_.rfind("SQLSTATE 55P03", 0) == 0) {
    text += "\r\n" + LockTimeoutText(connectionData_, fileDsn_, lib_.BackendPid());
  }
  End();
  checkAction_ = CheckAction::Ended;
  Raise(kErrFatalDatabase, text);
}

int16_t Session::CheckAndReact(int16_t status) {
  int16_t code = Check(status);
  React();
  return code;
}

void Session::ConfigCheck(int16_t status) {
  if (status == 0) return;
  End();
  Raise(kErrFatalDatabase, "CS / Error # " + std::to_string(status) + " Module ");
}

int16_t Session::ExecImmediate(std::string_view app, std::string_view sql) {
  EnsureConnected();
  return lib_.ZQ_DB_ExecImm(handle_, app, sql);
}

void Session::Analyze(std::span<const char* const> tables) {
  constexpr std::string_view kApp = "ZQSTATS";
  // One statement a table: PostgreSQL 10 analyses one table per statement. A table name is
  // a word, so it needs no quoting; to_regclass passes over a table the store lacks.
  for (const char* table : tables) {
    std::string name(table);
    CheckAndReact(ExecImmediate(kApp, "DO $$BEGIN IF to_regclass('" + name +
                                          "') IS NOT NULL THEN ANALYZE " + name +
                                          "; END IF; END$$"));
  }
}

int16_t Session::CommitStatus() {
  if (handle_ == -1) return 0;
  return lib_.ZQ_DB_ConnCommit(handle_);
}

void Session::Commit() {
  if (handle_ == -1) return;
  CheckAndReact(lib_.ZQ_DB_ConnCommit(handle_));
}

void Session::CommitAsync() {
  if (handle_ == -1) return;
  CheckAndReact(lib_.ZQ_DB_ConnCommitNoWait(handle_));
}

}  // namespace kalu
