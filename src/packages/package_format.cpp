#include "packages/package_format.h"

#include <cerrno>
#include <cstdio>
#include <limits>
#include <memory>

#include "platform/replacement_file.h"
#include "platform/zlib_codec.h"
#include "runtime/numbers.h"

namespace kalu {

namespace {

// Deflate's worst case is a little over 1032 output bytes per input byte; the slack covers
// the zlib header and trailer of tiny streams.
constexpr int64_t kMaxInflateRatio = 1032;
constexpr int64_t kInflateSlack = 1024;

double CapacityOf(int32_t size) {
  return size + size * 0.01 + 12;
}

}  // namespace

int32_t InflateCapacity(int32_t size) {
  return ToInt32(CapacityOf(size));
}

bool InflateSizeIsPlausible(int32_t size, std::size_t payloadBytes) {
  if (size < 0) return false;
  if (static_cast<int64_t>(size) >
      static_cast<int64_t>(payloadBytes) * kMaxInflateRatio + kInflateSlack) {
    return false;
  }
  // The output room, plus the byte the reader adds, must fit a 32-bit count.
  return CapacityOf(size) + 1 < static_cast<double>(std::numeric_limits<int32_t>::max());
}

PackageInput SplitPackage(const std::vector<uint8_t>& fileBytes) {
  PackageInput input;
  const uint8_t* p = fileBytes.data();
  input.declaredSize =
      static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
  input.buffer.assign(fileBytes.size(), 0);
  std::copy(fileBytes.begin() + kPackageSizeField, fileBytes.end(), input.buffer.begin());
  return input;
}

std::vector<uint8_t> PackDocument(std::string_view document) {
  if (document.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) return {};
  std::size_t packed = DeflateBound(document.size());
  std::vector<uint8_t> out(kPackageSizeField + packed);
  const auto size = static_cast<uint32_t>(document.size());
  for (std::size_t i = 0; i < kPackageSizeField; ++i)
    out[i] = static_cast<uint8_t>(size >> (8 * i));
  if (!Deflate(out.data() + kPackageSizeField, packed,
               reinterpret_cast<const uint8_t*>(document.data()), document.size())
           .ok()) {
    return {};
  }
  out.resize(kPackageSizeField + packed);
  return out;
}

}  // namespace kalu
