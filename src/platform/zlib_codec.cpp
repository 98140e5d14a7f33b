#include "platform/zlib_codec.h"

#include <zlib.h>

namespace kalu {

std::size_t DeflateBound(std::size_t size) {
  return compressBound(static_cast<uLong>(size));
}

Status Deflate(uint8_t* out, std::size_t& outSize, const uint8_t* in, std::size_t inSize) {
  uLongf length = static_cast<uLongf>(outSize);
  int result = compress(out, &length, in, static_cast<uLong>(inSize));
  if (result == Z_OK) outSize = length;
  return StatusFromZlib(result, "the document does not deflate");
}

Status Inflate(uint8_t* out, std::size_t& outSize, const uint8_t* in, std::size_t inSize) {
  uLongf length = static_cast<uLongf>(outSize);
  int result = uncompress(out, &length, in, static_cast<uLong>(inSize));
  if (result == Z_OK) outSize = length;
  return StatusFromZlib(result, "the payload does not inflate");
}

}  // namespace kalu
