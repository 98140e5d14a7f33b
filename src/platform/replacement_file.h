#pragma once
// A file that replaces another only when it is complete: it is written under a temporary
// name in the target's folder and renamed over the target by Commit(), so that at every
// moment the target holds either its former or its new content, never a part. When the
// object goes away without Commit() the temporary file is removed.

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace kalu {

class ReplacementFile {
 public:
  explicit ReplacementFile(std::filesystem::path target);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // False when the temporary file could not be created; Error() says why.
  bool IsOpen() const { return file_ != nullptr; }
  // Appends bytes; false (and the replacement fails) when they could not be written.
  bool Write(const void* data, std::size_t size);
  // Flushes to disk and renames over the target; false when any step failed.
  bool Commit();
  const std::string& Error() const { return error_; }

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  bool failed_ = false;
  bool committed_ = false;
  std::string error_;
};

// Reads the whole content of a file: 0, or the system's error number when it cannot.
int ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes);

// Replaces `path` with `data` through a temporary file in the same folder and a rename:
// the file holds either its former or its new content at every moment.
bool ReplaceFileContent(const std::filesystem::path& path, const void* data, std::size_t size,
                        std::string& error);

}  // namespace kalu
