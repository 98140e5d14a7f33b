#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <random>
#include <system_error>

#include "platform/paths.h"
#include "platform/replacement_file.h"
#include "runtime/failure_point.h"

namespace kalu {

namespace {

// `context` with the system's text of the last error.
Status LastError(std::string_view context) {
  return StatusFromWindowsError(GetLastError(), context);
}

// Six letters or digits for a temporary name.
std::string RandomPart() {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device device;
  std::string random;
  for (int i = 0; i < 6; ++i) random += kLetters[device() % (sizeof kLetters - 1)];
  return random;
}

// Removes the temporary files of `target` left by writers that are gone: a live writer
// holds its file open without leave to delete it, which ends with its process, however
// it ends.
void RemoveStaleTemporaries(const std::filesystem::path& target) {
  const std::string targetName = TextOf(target.filename());
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(FolderOf(target), ec)) {
    if (!IsTemporaryOf(TextOf(entry.path().filename()), targetName)) continue;
    if (!entry.is_regular_file(ec)) continue;
    DeleteFileW(entry.path().c_str());  // refused while its writer has it open
  }
}

// How long a replacement waits for a program that holds the target open (an antivirus
// scanner, an indexer, a backup or sync agent) before it gives up.
constexpr DWORD kPatienceMs = 5000;
constexpr DWORD kRetryMs = 100;

// Renames the temporary file over the target. A read-only target (a package copied from a
// medium) loses that attribute first; a target that another program holds open without
// leave to delete it is tried again for a few seconds.
bool MoveOverTarget(const std::filesystem::path& temporary, const std::filesystem::path& target) {
  for (DWORD waited = 0;; waited += kRetryMs) {
    if (MoveFileExW(temporary.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD error = GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION &&
         error != ERROR_LOCK_VIOLATION) ||
        waited >= kPatienceMs) {
      SetLastError(error);
      return false;
    }
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
      SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
      continue;
    }
    Sleep(kRetryMs);
  }
}

}  // namespace

ReplacementFile::ReplacementFile(std::filesystem::path target) : target_(std::move(target)) {
  RemoveStaleTemporaries(target_);
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
    temporary_ =
        FolderOf(target_) / PathOf(TemporaryNameOf(TextOf(target_.filename()), RandomPart()));
    handle = CreateFileW(temporary_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (handle == INVALID_HANDLE_VALUE) {
    status_ = LastError("cannot create a file in '" + TextOf(FolderOf(target_)) + "'");
    temporary_.clear();
    return;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    status_ = StatusFromErrno(errno, "cannot open '" + TextOf(temporary_) + "'");
    CloseHandle(handle);
    return;
  }
  file_.reset(_fdopen(fd, "wb"));
  if (!file_) {
    status_ = StatusFromErrno(errno, "cannot open '" + TextOf(temporary_) + "'");
    _close(fd);
  }
}

bool ReplacementFile::Commit() {
  if (!file_ || !status_.ok()) return false;
  // The content is on disk before the name points at it, so that no moment, a power cut
  // included, shows the target with a part of it.
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_.get())));
  if (std::fflush(file_.get()) != 0 || !FlushFileBuffers(handle)) {
    return Fail(LastError("cannot write '" + TextOf(temporary_) + "'"));
  }
  FailurePoint("file-written", TextOf(target_.filename()));
  // The system renames only a file that is closed.
  if (std::fclose(file_.release()) != 0) {
    return Fail(StatusFromErrno(errno, "cannot write '" + TextOf(temporary_) + "'"));
  }
  if (!MoveOverTarget(temporary_, target_)) {
    return Fail(LastError("cannot replace '" + TextOf(target_) + "'"));
  }
  committed_ = true;
  return true;
}

}  // namespace kalu
