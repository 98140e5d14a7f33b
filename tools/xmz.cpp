// xmz: makes and opens the catalogue packages (".XMZ") of the store.
//
//   xmz pack FILE.xml OUT.XMZ     the 4-byte little-endian size and zlib's compress of FILE
//   xmz unpack IN.XMZ OUT.xml     the document of a package, inflated as the store does
//   xmz check IN.XMZ              whether the package inflates and what its size field says
//
// Exit status: 0 done, 1 bad input or a file that cannot be read or written, 2 bad usage.

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "packages/package_format.h"
#include "packages/pfunciones_mod.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/replacement_file.h"

namespace {

using kalu::InflateBuffer;

constexpr int kExitBadInput = 1;
constexpr int kExitUsage = 2;

int Usage() {
  std::fprintf(stderr,
               "usage: xmz pack FILE.xml OUT.XMZ\n"
               "       xmz unpack IN.XMZ OUT.xml\n"
               "       xmz check IN.XMZ\n");
  return kExitUsage;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "xmz: %s\n", message.c_str());
  return kExitBadInput;
}

bool Read(const char* path, std::vector<uint8_t>& bytes, std::string& error) {
  const kalu::Status read = kalu::ReadWholeFile(kalu::PathOf(path), bytes);
  if (!read.ok()) error = std::string("cannot read ") + path + ": " + std::strerror(read.code());
  return read.ok();
}

// Reads a package and inflates it the way the store does; false with a message when it
// cannot be read or does not inflate.
struct Inflated {
  int32_t declaredSize = 0;
  std::size_t payloadBytes = 0;
  int32_t code = 0;
  std::vector<uint8_t> document;
};

bool InflatePackageFile(const char* path, Inflated& out, std::string& error) {
  std::vector<uint8_t> bytes;
  if (!Read(path, bytes, error)) return false;
  if (bytes.size() < kalu::kPackageSizeField) {
    error = std::string(path) + ": " + std::to_string(bytes.size()) +
            " bytes, too short for a package (a 4-byte size field and a zlib stream)";
    return false;
  }
  kalu::PackageInput input = kalu::SplitPackage(bytes);
  out.declaredSize = input.declaredSize;
  out.payloadBytes = bytes.size() - kalu::kPackageSizeField;
  const kalu::Status inflated = InflateBuffer(input.buffer, input.declaredSize);
  out.code = inflated.code();
  if (!inflated.ok()) {
    error = std::string(path) + ": does not inflate: zlib code " + std::to_string(out.code) + " (" +
            inflated.text() + "); size field " + std::to_string(out.declaredSize) + ", payload " +
            std::to_string(out.payloadBytes) + " bytes";
    return false;
  }
  out.document = std::move(input.buffer);
  return true;
}

int Pack(const char* source, const char* target) {
  std::vector<uint8_t> document;
  std::string error;
  if (!Read(source, document, error)) return Fail(error);
  std::vector<uint8_t> package = kalu::PackDocument(
      std::string_view(reinterpret_cast<const char*>(document.data()), document.size()));
  if (package.empty()) return Fail(std::string(source) + ": too large for a package (2 GB)");
  if (kalu::Status written =
          kalu::ReplaceFileContent(kalu::PathOf(target), package.data(), package.size());
      !written.ok()) {
    return Fail(written.text());
  }
  std::printf("%s: %zu bytes packed into %zu\n", target, document.size(), package.size());
  return 0;
}

int Unpack(const char* source, const char* target) {
  Inflated inflated;
  std::string error;
  if (!InflatePackageFile(source, inflated, error)) return Fail(error);
  if (kalu::Status written = kalu::ReplaceFileContent(
          kalu::PathOf(target), inflated.document.data(), inflated.document.size());
      !written.ok()) {
    return Fail(written.text());
  }
  std::printf("%s: %zu bytes\n", target, inflated.document.size());
  return 0;
}

int Check(const char* source) {
  Inflated inflated;
  std::string error;
  if (!InflatePackageFile(source, inflated, error)) return Fail(error);
  std::printf("%s: inflates; size field %d bytes, document %zu bytes, payload %zu bytes%s\n",
              source, inflated.declaredSize, inflated.document.size(), inflated.payloadBytes,
              inflated.document.size() == static_cast<std::size_t>(inflated.declaredSize)
                  ? ""
                  : " (the size field is larger than the document)");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // The arguments as UTF-8, as the program's texts are.
  const std::vector<std::string> args = kalu::ProgramArguments(argc, argv);
  const std::string command = args.size() > 1 ? args[1] : "";
  if (command == "pack" && args.size() == 4) return Pack(args[2].c_str(), args[3].c_str());
  if (command == "unpack" && args.size() == 4) return Unpack(args[2].c_str(), args[3].c_str());
  if (command == "check" && args.size() == 3) return Check(args[2].c_str());
  return Usage();
}
