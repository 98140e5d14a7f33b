#pragma once
// What a run does only because the store system's sequence does it. The start-up reads the
// installation's folders from the settings file beside the program, takes the user's login
// name, opens the desktop database "Kalu.MDB" of the data folder and names the running
// program; every procedure idles that database as it ends; the shutdown and the main
// window's close close it. Nothing reads those folders, names or that file: no message,
// row, file or exit status depends on them, and a settings file or a database file that is
// missing changes nothing. They are kept, each in its place of the
// sequence, because the store system's sequence requires them; they are gathered here so
// that the rest of the run holds only what has an effect.

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace kalu {

// The settings file: the program's folder, its base name and ".INI".
std::string SettingsFilePath(const std::string& programPath);

// Reads a folder key of section "ZQFiles" of the settings file; the result always ends
// with "\". `defaultFolder` is used (with its "\") when the file or key is missing.
std::string ReadSettingsPath(const std::string& settingsFile, std::string defaultFolder,
                             std::string_view key);

// Folders of the installation, read from the settings file; each ends with "\".
struct Folders {
  std::string data;
  std::string data2;
  std::string menu;
  std::string graph;
  std::string chart;
  std::string aux;
};

// The desktop database engine: any engine, or none when the file is absent, that accepts
// the open, the idles and the close serves, so this one holds the file open and counts.
class DesktopDatabase {
 public:
  // Opens the file named in the system's form, not exclusive, not read-only. Returns false
  // (and stays closed) when it cannot be opened; the caller ignores the failure.
  bool Open(std::string_view systemPath);
  bool IsOpen() const { return file_ != nullptr; }
  void Idle(int option) {
    lastIdleOption_ = option;
    ++idles_;
  }
  void Close() { file_.reset(); }  // nothing when it is not open
  int Idles() const { return idles_; }
  int LastIdleOption() const { return lastIdleOption_; }

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, FileCloser> file_;
  int idles_ = 0;
  int lastIdleOption_ = 0;
};

struct SequenceOnly {
  // Start-up, first step: the folders, each with the program's folder as default.
  void ReadFolders(const std::string& programPath);
  // Start-up, after the data-access library: the desktop database of the data folder,
  // opened when it can be (a failure leaves it unopened, silently).
  void OpenDesktopDatabase();

  Folders folders;
  std::string localDatabasePath;   // data folder + "Kalu.MDB"
  DesktopDatabase desktopDb;       // idled with the free-locks option by every procedure
  std::string userName = "GUEST";  // LOGNAME trimmed, or "GUEST"
  std::string runningProgram;      // "AZT903114"
};

}  // namespace kalu
