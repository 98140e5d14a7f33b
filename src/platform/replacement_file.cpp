#include "platform/replacement_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "runtime/failure_point.h"

namespace kalu {

namespace {

// The random part of a temporary name, as mkstemp fills it in.
constexpr std::string_view kRandomPart = "XXXXXX";

std::string TemporaryTemplate(std::string_view targetName) {
  return "." + std::string(targetName) + "." + std::string(kRandomPart);
}

// A file descriptor closed when it goes.
struct Descriptor {
  explicit Descriptor(int fd) : fd(fd) {}
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int fd;
};

std::filesystem::path FolderOf(const std::filesystem::path& target) {
  std::filesystem::path folder = target.parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

// Removes the temporary files of `target` left by writers that are gone: a live writer
// holds a lock on its file, which ends with its process, however it ends.
void RemoveStaleTemporaries(const std::filesystem::path& target) {
  const std::string targetName = target.filename().string();
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(FolderOf(target), ec)) {
    if (!IsTemporaryOf(entry.path().filename().string(), targetName)) continue;
    if (!entry.is_regular_file(ec) || entry.is_symlink(ec)) continue;
    Descriptor file(::open(entry.path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (file.fd < 0 || ::flock(file.fd, LOCK_EX | LOCK_NB) != 0) continue;
    std::filesystem::remove(entry.path(), ec);
  }
}

}  // namespace

bool IsTemporaryOf(std::string_view fileName, std::string_view targetName) {
  const std::string pattern = TemporaryTemplate(targetName);
  const std::size_t fixed = pattern.size() - kRandomPart.size();
  if (fileName.size() != pattern.size() || fileName.substr(0, fixed) != pattern.substr(0, fixed)) {
    return false;
  }
  for (char c : fileName.substr(fixed)) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

ReplacementFile::ReplacementFile(std::filesystem::path target) : target_(std::move(target)) {
  RemoveStaleTemporaries(target_);
  std::string pattern = FolderOf(target_) / TemporaryTemplate(target_.filename().string());
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) {
    error_ =
        "cannot create a file in '" + FolderOf(target_).string() + "': " + std::strerror(errno);
    return;
  }
  temporary_ = name.data();
  // The lock tells a later replacement that this file is being written.
  if (::flock(fd, LOCK_EX) != 0) {
    error_ = "cannot lock '" + temporary_.string() + "': " + std::strerror(errno);
    ::close(fd);
    return;
  }
  file_.reset(::fdopen(fd, "wb"));
  if (!file_) {
    error_ = std::strerror(errno);
    ::close(fd);
  }
}

ReplacementFile::~ReplacementFile() {
  if (!committed_ && !temporary_.empty()) {
    std::error_code ec;
    std::filesystem::remove(temporary_, ec);
  }
}

bool ReplacementFile::Fail(std::string error) {
  failed_ = true;
  error_ = std::move(error);
  return false;
}

bool ReplacementFile::Write(const void* data, std::size_t size) {
  if (!file_ || failed_) return false;
  if (size > 0 && std::fwrite(data, 1, size, file_.get()) != size) {
    return Fail("cannot write '" + temporary_.string() + "': " + std::strerror(errno));
  }
  return true;
}

bool ReplacementFile::Commit() {
  if (!file_ || failed_) return false;
  const int fd = ::fileno(file_.get());
  // The content is on disk before the name points at it, so that no moment, a power cut
  // included, shows the target with a part of it.
  if (std::fflush(file_.get()) != 0 || ::fsync(fd) != 0) {
    return Fail("cannot write '" + temporary_.string() + "': " + std::strerror(errno));
  }
  // The temporary file is private to this process (mode 0600): the replacement keeps the
  // mode of the file it replaces, a new file is readable by all.
  // A folder whose file system keeps no modes (a shared Windows folder) still takes the
  // file, so a mode that cannot be set does not fail the replacement.
  struct stat former {};
  mode_t mode = ::stat(target_.c_str(), &former) == 0 ? former.st_mode & 07777 : 0644;
  (void)::fchmod(fd, mode);
  FailurePoint("file-written", target_.filename().string());
  // The file stays open, and locked, until its new name is in place.
  std::error_code ec;
  std::filesystem::rename(temporary_, target_, ec);
  if (ec) return Fail("cannot replace '" + target_.string() + "': " + ec.message());
  committed_ = true;
  Descriptor folder(::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.fd < 0 || ::fsync(folder.fd) != 0) {
    return Fail("cannot write the folder of '" + target_.string() + "': " + std::strerror(errno));
  }
  if (std::fclose(file_.release()) != 0) {
    return Fail("cannot write '" + target_.string() + "': " + std::strerror(errno));
  }
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
