#include "platform/replacement_file.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace kalu {

ReplacementFile::ReplacementFile(std::filesystem::path target) : target_(std::move(target)) {
  std::filesystem::path folder = target_.parent_path();
  std::string hidden = target_.filename().string();
  hidden.insert(0, 1, '.');
  hidden += ".XXXXXX";
  std::string pattern = (folder.empty() ? std::filesystem::path(".") : folder) / hidden;
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) {
    error_ = "cannot create a file in '" + folder.string() + "': " + std::strerror(errno);
    return;
  }
  temporary_ = name.data();
  file_.reset(::fdopen(fd, "wb"));
  if (!file_) {
    error_ = std::strerror(errno);
    ::close(fd);
  }
}

ReplacementFile::~ReplacementFile() {
  file_.reset();
  if (!committed_ && !temporary_.empty()) {
    std::error_code ec;
    std::filesystem::remove(temporary_, ec);
  }
}

bool ReplacementFile::Write(const void* data, std::size_t size) {
  if (!file_ || failed_) return false;
  if (size > 0 && std::fwrite(data, 1, size, file_.get()) != size) {
    failed_ = true;
    error_ = std::string("cannot write '") + temporary_.string() + "': " + std::strerror(errno);
  }
  return !failed_;
}

bool ReplacementFile::Commit() {
  if (!file_ || failed_) return false;
  bool flushed = std::fflush(file_.get()) == 0 && ::fsync(::fileno(file_.get())) == 0;
  int closed = std::fclose(file_.release());
  if (!flushed || closed != 0) {
    failed_ = true;
    error_ = std::string("cannot write '") + temporary_.string() + "': " + std::strerror(errno);
    return false;
  }
  // The temporary file is private to this process (mode 0600): the replacement keeps the
  // mode of the file it replaces, a new file is readable by all.
  std::error_code ec;
  auto former = std::filesystem::status(target_, ec);
  auto mode = std::filesystem::exists(former) ? former.permissions() : std::filesystem::perms(0644);
  std::filesystem::permissions(temporary_, mode, ec);
  std::filesystem::rename(temporary_, target_, ec);
  if (ec) {
    failed_ = true;
    error_ = "cannot replace '" + target_.string() + "': " + ec.message();
    return false;
  }
  committed_ = true;
  return true;
}

int ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes) {
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  bytes.clear();
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return errno;
  struct stat st {};
  if (::fstat(::fileno(file.get()), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  bytes.resize(static_cast<std::size_t>(st.st_size));
  std::size_t done = std::fread(bytes.data(), 1, bytes.size(), file.get());
  if (std::ferror(file.get())) {
    int error = errno != 0 ? errno : EIO;
    bytes.clear();
    return error;
  }
  bytes.resize(done);  // a file that got shorter while it was read
  return 0;
}

bool ReplaceFileContent(const std::filesystem::path& path, const void* data, std::size_t size,
                        std::string& error) {
  ReplacementFile file(path);
  if (file.Write(data, size) && file.Commit()) return true;
  error = file.Error();
  return false;
}

}  // namespace kalu
