#pragma once
// Thin owners of libpq's objects: a connection, a result, a pipeline and a cancel request.
// They know the protocol and nothing of what a statement means: statements by cursor id,
// statuses, native codes and commits are the data-access library's (database/zqdata.h).

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct pg_conn;
struct pg_result;
struct pg_cancel;

namespace kalu {

// One result of the server, owned; empty when libpq gave none.
class PgResult {
 public:
  PgResult() = default;
  explicit PgResult(pg_result* result) : result_(result) {}

  explicit operator bool() const { return result_ != nullptr; }
  // A command that completed or rows that were read.
  bool Succeeded() const;
  // The server waits for COPY data.
  bool WantsCopyData() const;
  // The end of the results sent before a pipeline's sync.
  bool IsSync() const;
  // A statement of a pipeline that the server skipped after an earlier failure.
  bool WasSkipped() const;

  int Rows() const;
  int Columns() const;
  // The text of a value, nullptr for NULL or a place outside the result.
  const char* Value(int row, int column) const;
  // "UPDATE 3", "ROLLBACK", …
  std::string CommandTag() const;
  // Rows an INSERT, UPDATE or DELETE touched (0 for other statements).
  int64_t RowsChanged() const;

  // What the server said of a failure: its SQLSTATE (empty when it said nothing), its
  // primary message (libpq's whole message when there is none) and its detail.
  std::string SqlState() const;
  std::string Message() const;
  std::string Detail() const;

 private:
  struct Clear {
    void operator()(pg_result* result) const;
  };
  std::unique_ptr<pg_result, Clear> result_;
};

// A request that cancels what its connection runs; any thread may use it.
class PgCanceller {
 public:
  PgCanceller() = default;
  explicit PgCanceller(pg_cancel* cancel) : cancel_(cancel) {}
  // Whether the request was delivered (false when there is none).
  bool Cancel() const;

 private:
  struct Free {
    void operator()(pg_cancel* cancel) const;
  };
  std::unique_ptr<pg_cancel, Free> cancel_;
};

// libpq's connection keywords and their values ("host", "port", "dbname", …).
using PgSettings = std::vector<std::pair<std::string, std::string>>;

class PgConnection {
 public:
  // Connects with `settings` and waits until the connection opens or fails.
  explicit PgConnection(const PgSettings& settings);
  ~PgConnection();
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  // Whether the connection is open (and was not lost).
  bool Ok() const;
  // libpq's last message, without its line end.
  std::string Error() const;

  // Runs one statement without parameters in the extended protocol, which takes one only.
  PgResult Exec(std::string_view sql);
  PgResult ExecPrepared(const std::string& name, std::span<const char* const> values);

  // Sends statements in the simple protocol without waiting for their results.
  bool Send(std::string_view sql);
  // Reads what arrives until a whole result is there, calling `waiting` every few
  // hundredths of a second meanwhile; false when the connection is lost.
  bool AwaitResult(const std::function<void()>& waiting);
  // The next result of what was sent; empty after a statement's last result.
  PgResult Next();

  // COPY data for a COPY … FROM STDIN the server waits for, and its end.
  bool PutCopyData(std::string_view data);
  bool EndCopy();

  // Whether the open transaction failed, so that only its rollback can end it.
  bool TransactionFailed() const;
  // The server process serving the connection.
  int32_t BackendPid() const;
  PgCanceller Canceller() const;
  // Where the server's notices go, without their line end (nowhere when not set).
  void SetNoticeSink(std::function<void(std::string_view)> sink);

 private:
  friend class PgPipeline;
  pg_conn* conn_;
  std::function<void(std::string_view)> noticeSink_;
};

// While it lives, its connection is in pipeline mode: statements go out without waiting
// for their results, which come back after a sync.
class PgPipeline {
 public:
  explicit PgPipeline(PgConnection& connection);
  // Leaves pipeline mode (nothing when it never entered or left already).
  ~PgPipeline();
  PgPipeline(const PgPipeline&) = delete;
  PgPipeline& operator=(const PgPipeline&) = delete;

  // Whether the connection entered pipeline mode.
  bool Ok() const { return entered_; }
  bool SendPrepare(const std::string& name, const std::string& sql, int parameters);
  bool SendPrepared(const std::string& name, std::span<const char* const> values);
  bool Sync();
  // Reads the results up to the next sync, handing each to `each`; false when the
  // connection is lost on the way.
  bool ReadToSync(const std::function<void(PgResult)>& each);
  // Leaves pipeline mode; false when libpq refuses (results still on their way).
  bool Leave();

 private:
  PgConnection& connection_;
  bool entered_;
};

}  // namespace kalu
