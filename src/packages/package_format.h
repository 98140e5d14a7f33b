#pragma once
// The package file (".XMZ"): a signed 32-bit little-endian count of the document's bytes,
// then the document compressed into one zlib stream. The package reader, the download
// and the xmz tool all go through these helpers.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/replacement_file.h"

namespace kalu {

constexpr std::size_t kPackageSizeField = 4;

// zlib codes a package inflation returns besides 0.
constexpr int32_t kInflateDataError = -3;    // the payload is not a sound zlib stream
constexpr int32_t kInflateMemoryError = -4;  // out of memory
constexpr int32_t kInflateBufferError = -5;  // the document is larger than its size field allows

// The output room of an inflation: size + 1 % + 12 bytes, rounded half to even. Only
// for sizes that InflateSizeIsPlausible accepts.
int32_t InflateCapacity(int32_t size);

// Whether a document of `size` bytes can come out of `payloadBytes` compressed bytes
// (deflate never expands more than about 1032 to 1) and its output room fits in 32 bits.
bool InflateSizeIsPlausible(int32_t size, std::size_t payloadBytes);

// A package file split the way the reader holds it: the size field, and an input buffer
// as long as the whole file with the payload at its start (its last 4 bytes stay zero).
struct PackageInput {
  int32_t declaredSize = 0;
  std::vector<uint8_t> buffer;
};
// `fileBytes` must hold at least the size field.
PackageInput SplitPackage(const std::vector<uint8_t>& fileBytes);

// The package of a document: the size field and zlib's compress of the document.
// Documents of 2 GB or more cannot be packed (the size field is 32-bit): empty result.
std::vector<uint8_t> PackDocument(std::string_view document);

}  // namespace kalu
