#pragma once
// What the tests share: a process context with a recording display, a throwaway working
// folder, and databases of the throwaway PostgreSQL cloned from the store template.

#include <filesystem>
#include <string>

#include "platform/clock.h"
#include "platform/desktop_db.h"
#include "platform/recording_display.h"
#include "startup/context.h"
#include "startup/run_log.h"
#include "startup/session.h"

namespace kalu::test {

// The repository's folder and the build folder.
std::filesystem::path SourceDir();
std::filesystem::path BinaryDir();

// A fresh empty folder that becomes the working folder while the object lives; the
// former working folder comes back and the folder is removed afterwards.
class WorkFolder {
 public:
  WorkFolder();
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  // Writes a file below the folder (folders created as needed).
  void Write(const std::string& relative, const std::string& content) const;

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

// A process context for procedures under test: recording display, a clock standing at
// 2024-03-20 13:05:09, no run log, and a session whose connection data names `database`
// (empty: the store's "kalu"). The session reads ".\Kalu.dsn" of the working folder.
class TestContext {
 public:
  explicit TestContext(const std::string& database = "");
  Context& operator*() { return ctx; }
  Context* operator->() { return &ctx; }

  RecordingDisplay display;
  FixedClock clock;
  RunLog log;
  DesktopDatabase desktopDb;
  Session session;
  Context ctx;
};

}  // namespace kalu::test
