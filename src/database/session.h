#pragma once
// The database session: the one connection "Default" to the store database, opened on
// first use from ".\Kalu.dsn", and the database check that turns every status of the
// data-access library into error code 0 (success), 101 (not found) or 999 (failure).
// A failure other than not found is the fatal database error 1060, raised by the
// reaction; nothing catches it but the program entry.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/zqdata.h"

namespace kalu {

constexpr int16_t kCodeOk = 0;
constexpr int16_t kCodeNotFound = 101;
constexpr int16_t kCodeFailure = 999;

// What the reaction does after a check: nothing; handle a failure (the fatal database
// error, unless the failure was "not found"); or nothing more, the session having ended on
// a fatal error.
enum class CheckAction : int16_t { None = 0, Ended = 2, Handle = 3 };

class Session {
 public:
  static constexpr const char* kConnectionData = ";Database=kalu;Readonly=No;";
  static constexpr const char* kFileDsn = ".\\Kalu.dsn";

  // `connectionData` is laid over the data source; tests name their own database there.
  explicit Session(std::string connectionData = kConnectionData, std::string fileDsn = kFileDsn);

  ZQData& Library() { return lib_; }
  // The database the connection data names ("kalu" for the store's own).
  std::string Database() const {
    return ConnectionDataValue(connectionData_, "Database").value_or("");
  }
  const std::string& FileDsn() const { return fileDsn_; }

  // Initialises the library once; raises 1055 "Unable to initialize C/S DLL".
  void Initialize();
  // Initialises if needed, then opens the connection if it is not open yet.
  void EnsureConnected();
  // Ends the library if it was initialised and clears both flags.
  void End();

  // The database check: fills error code, native code, error text and check action from
  // the status of a library call, and returns the error code.
  int16_t Check(int16_t status);
  // The reaction: with check action 3 and a failure, ends the session and raises the
  // fatal database error 1060 "Error code: <native> in  Text is: '<text>'.".
  void React();
  int16_t CheckAndReact(int16_t status);
  // The check of a connection-configuration call: ends the library and raises 1060
  // "CS / Error # <status> Module " when the status is not 0.
  void ConfigCheck(int16_t status);

  // Sends one statement at once (connecting first when needed) and returns the library's
  // status, for the caller's check.
  int16_t ExecImmediate(std::string_view app, std::string_view sql);

  // Gives the planner fresh statistics of `tables` (those the store has; the others are
  // passed over), through the check and reaction, so that no plan depends on whether the
  // store was analysed since it was restored or loaded.
  void Analyze(std::span<const char* const> tables);

  // The commit pattern: skipped when never connected; otherwise commit, check and react.
  void Commit();
  // The commit pattern with a commit that does not wait for the disk, for commits inside
  // a procedure; its last commit is the waiting one (Commit), so that what a finished
  // procedure wrote is durable.
  void CommitAsync();
  // Commits when connected and returns the library status (0 when skipped), for callers
  // that run their own check.
  int16_t CommitStatus();

  bool IsInitialized() const { return initialized_; }
  bool IsConnected() const { return connected_; }
  int16_t Handle() const { return handle_; }

  int16_t ErrorCode() const { return errorCode_; }
  int32_t NativeCode() const { return nativeCode_; }
  const std::string& ErrorText() const { return errorText_; }
  CheckAction Action() const { return checkAction_; }
  void SetCheckAction(CheckAction action) { checkAction_ = action; }
  // Clears check action, error text and native code.
  void ClearError();

  // The fatal text for a native code and an error text.
  static std::string FatalText(int32_t nativeCode, const std::string& errorText);

 private:
  ZQData lib_;
  std::string connectionData_;
  std::string fileDsn_;
  bool initialized_ = false;
  bool connected_ = false;
  int16_t handle_ = -1;
  int16_t errorCode_ = 0;
  int32_t nativeCode_ = 0;
  std::string errorText_;
  CheckAction checkAction_ = CheckAction::None;
};

}  // namespace kalu
