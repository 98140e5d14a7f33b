#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <vector>

#include "platform/paths.h"
#include "platform/replacement_file.h"
#include "runtime/failure_point.h"

namespace kalu {

namespace {

// The random part of a temporary name, as mkstemp fills it in.
constexpr std::string_view kMkstempRandom = "XXXXXX";

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

// Removes the temporary files of `target` left by writers that are gone: a live writer
// holds a lock on its file, which ends with its process, however it ends.
void RemoveStaleTemporaries(const std::filesystem::path& target) {
  const std::string targetName = TextOf(target.filename());
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(FolderOf(target), ec)) {
    if (!IsTemporaryOf(TextOf(entry.path().filename()), targetName)) continue;
    if (!entry.is_regular_file(ec) || entry.is_symlink(ec)) continue;
    Descriptor file(::open(entry.path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (file.fd < 0 || ::flock(file.fd, LOCK_EX | LOCK_NB) != 0) continue;
    std::filesystem::remove(entry.path(), ec);
  }
}

}  // namespace

ReplacementFile::ReplacementFile(std::filesystem::path target) : target_(std::move(target)) {
  RemoveStaleTemporaries(target_);
  std::string pattern =
      FolderOf(target_) / TemporaryNameOf(TextOf(target_.filename()), kMkstempRandom);
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) {
    status_ = StatusFromErrno(errno, "cannot create a file in '" + TextOf(FolderOf(target_)) + "'");
    return;
  }
  temporary_ = name.data();
  // The lock tells a later replacement that this file is being written.
  if (::flock(fd, LOCK_EX) != 0) {
    status_ = StatusFromErrno(errno, "cannot lock '" + TextOf(temporary_) + "'");
    ::close(fd);
    return;
  }
  file_.reset(::fdopen(fd, "wb"));
  if (!file_) {
    status_ = StatusFromErrno(errno, "cannot open '" + TextOf(temporary_) + "'");
    ::close(fd);
  }
}

bool ReplacementFile::Commit() {
  if (!file_ || !status_.ok()) return false;
  const int fd = ::fileno(file_.get());
  // The content is on disk before the name points at it, so that no moment, a power cut
  // included, shows the target with a part of it.
  if (std::fflush(file_.get()) != 0 || ::fsync(fd) != 0) {
    return Fail(StatusFromErrno(errno, "cannot write '" + TextOf(temporary_) + "'"));
  }
  // The temporary file is private to this process (mode 0600): the replacement keeps the
  // mode of the file it replaces, a new file is readable by all.
  // A folder whose file system keeps no modes (a shared Windows folder) still takes the
  // file, so a mode that cannot be set does not fail the replacement.
  struct stat former {};
  mode_t mode = ::stat(target_.c_str(), &former) == 0 ? former.st_mode & 07777 : 0644;
  (void)::fchmod(fd, mode);
  FailurePoint("file-written", TextOf(target_.filename()));
  // The file stays open, and locked, until its new name is in place.
  std::error_code ec;
  std::filesystem::rename(temporary_, target_, ec);
  if (ec) return Fail(StatusFromErrno(ec.value(), "cannot replace '" + TextOf(target_) + "'"));
  committed_ = true;
  Descriptor folder(::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.fd < 0 || ::fsync(folder.fd) != 0) {
    return Fail(StatusFromErrno(errno, "cannot write the folder of '" + TextOf(target_) + "'"));
  }
  if (std::fclose(file_.release()) != 0) {
    return Fail(StatusFromErrno(errno, "cannot write '" + TextOf(target_) + "'"));
  }
  return true;
}

}  // namespace kalu
