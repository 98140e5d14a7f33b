#pragma once
// The desktop database engine: it opens "Kalu.MDB" when the file exists, idles at the end
// of every procedure and closes the file at shutdown. Nothing in the system reads the file.

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace kalu {

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
  void Close() { file_.reset(); }
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

}  // namespace kalu
