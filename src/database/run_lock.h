#pragma once
// One run at a time on a store database. Two runs at once would change the same tables
// under each other (one drops what the other is reading); the second must refuse before
// it changes anything.
//
// The mark is PostgreSQL's session-level advisory lock with the key (kRunLockKey, the oid
// of the store database), held for the whole run by a session of its own on the
// maintenance database "postgres", where the copy before the run is made from: not on the
// store database itself, because CREATE DATABASE ... TEMPLATE <store> needs the store
// without any other session, so a lock held there would have to be let go for the copy and
// a second run could start in that moment. Every run (with or without the copy) takes it
// there first; it goes when the run's process ends, however it ends.
//
//   RunLock lock("kalu");
//   lock.Take();  // RunRefused: "No se actualiza la base kalu: ya hay una corrida en curso …"
//   ... the copy, the upgrade: the lock stays while `lock` lives ...

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "database/session.h"

namespace kalu {

// The advisory lock's first key: "KALU" in ASCII, the same for every store.
constexpr int32_t kRunLockKey = 0x4B414C55;

// A run that must not start; nothing has been changed. Only the program entry catches it.
class RunRefused : public std::runtime_error {
 public:
  explicit RunRefused(const std::string& text) : std::runtime_error(text) {}
};

class RunLock {
 public:
  explicit RunLock(std::string store, std::string fileDsn = Session::kFileDsn);
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // Takes the lock; raises RunRefused, saying where the other run is when the server
  // tells, when another run holds it. A database failure raises the fatal database error.
  void Take();

 private:
  Session session_;
  std::string store_;
};

// The refusal's text; `where` is empty when the other run's place cannot be told.
std::string RunningElsewhereText(const std::string& store, const std::string& where);

}  // namespace kalu
