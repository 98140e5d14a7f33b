#include "platform/replacement_file.h"

#include <cctype>
#include <cerrno>

#include "platform/paths.h"

namespace kalu {

namespace {
constexpr std::size_t kRandomLength = 6;
}  // namespace

std::string TemporaryNameOf(std::string_view targetName, std::string_view random) {
  return "." + std::string(targetName) + "." + std::string(random);
}

std::filesystem::path FolderOf(const std::filesystem::path& target) {
  std::filesystem::path folder = target.parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

bool IsTemporaryOf(std::string_view fileName, std::string_view targetName) {
  const std::string fixed = TemporaryNameOf(targetName, "");
  if (fileName.size() != fixed.size() + kRandomLength || !fileName.starts_with(fixed)) {
    return false;
  }
  for (char c : fileName.substr(fixed.size())) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

ReplacementFile::~ReplacementFile() {
  file_.reset();
  if (!committed_ && !temporary_.empty()) {
    std::error_code ec;
    std::filesystem::remove(temporary_, ec);
  }
}

bool ReplacementFile::Fail(Status status) {
  status_ = std::move(status);
  return false;
}

bool ReplacementFile::Write(const void* data, std::size_t size) {
  if (!file_ || !status_.ok()) return false;
  if (size > 0 && std::fwrite(data, 1, size, file_.get()) != size) {
    return Fail(StatusFromErrno(errno, "cannot write '" + TextOf(temporary_) + "'"));
  }
  return true;
}

Status ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes) {
  constexpr std::string_view kCannotRead = "no se puede leer";
  bytes.clear();
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return StatusFromErrno(EISDIR, kCannotRead);
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file(OpenFile(path, "rb"));
  if (!file) return StatusFromErrno(errno, kCannotRead);
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  bytes.reserve(ec ? 0 : static_cast<std::size_t>(size));
  uint8_t chunk[65536];
  while (std::size_t done = std::fread(chunk, 1, sizeof chunk, file.get())) {
    bytes.insert(bytes.end(), chunk, chunk + done);
  }
  if (std::ferror(file.get())) {
    const int error = errno;
    bytes.clear();
    return StatusFromErrno(error, kCannotRead);
  }
  return Status();
}

Status ReplaceFileContent(const std::filesystem::path& path, const void* data, std::size_t size) {
  ReplacementFile file(path);
  if (file.Write(data, size)) file.Commit();
  return file.status();
}

}  // namespace kalu
