#pragma once
// A file that replaces another only when it is complete: it is written under a temporary
// name in the target's folder, flushed to disk, and renamed over the target by Commit(),
// so that at every moment, a kill or a power cut included, the target holds either its
// former or its new content, never a part. When the object goes away without Commit()
// the temporary file is removed; one left by a process that was killed is removed by the
// next replacement of the same target.

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace kalu {

// The temporary file of a replacement of `target` is named "." + the target's file name +
// "." + six letters or digits, in the target's folder ("Importar/.SQLPG.XMZ.oZ1uae").
// True when `fileName` is such a name for the target named `targetName`.
bool IsTemporaryOf(std::string_view fileName, std::string_view targetName);
// The temporary name for the target named `targetName` with the six letters or digits
// `random`.
std::string TemporaryNameOf(std::string_view targetName, std::string_view random);
// The folder a replacement of `target` writes in ("." for a name without a folder).
std::filesystem::path FolderOf(const std::filesystem::path& target);

class ReplacementFile {
 public:
  // Removes the temporary files of `target` that no live process is writing, then
  // creates its own.
  explicit ReplacementFile(std::filesystem::path target);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // False when the temporary file could not be created; status() says why.
  bool IsOpen() const { return file_ != nullptr; }
  // Appends bytes; false (and the replacement fails) when they could not be written.
  bool Write(const void* data, std::size_t size);
  // Flushes the content to disk, renames it over the target and flushes the folder; false
  // when any step failed.
  bool Commit();
  // Ok, or the first failure: the system's number and what could not be done.
  const Status& status() const { return status_; }

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  bool Fail(Status status);

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  bool committed_ = false;
  Status status_;
};

// Reads the whole content of a file: ok, or the system's number with "no se puede leer: "
// and the system's text when it cannot.
Status ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes);

// Replaces `path` with `data` through a temporary file in the same folder and a rename:
// the file holds either its former or its new content at every moment.
Status ReplaceFileContent(const std::filesystem::path& path, const void* data, std::size_t size);

}  // namespace kalu
