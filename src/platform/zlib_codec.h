#pragma once
// zlib's one-call compression of whole buffers, as the packages use it. A failure's code is
// zlib's own number, which the package reader shows to the operator ("ERROR -5: …").

#include <cstddef>
#include <cstdint>

#include "platform/status.h"

namespace kalu {

// The largest size `Deflate` may need for `size` input bytes.
std::size_t DeflateBound(std::size_t size);

// Compresses `in` into `out`, which holds `outSize` bytes; on success `outSize` is the
// size written.
Status Deflate(uint8_t* out, std::size_t& outSize, const uint8_t* in, std::size_t inSize);

// Inflates the zlib stream `in` into `out`, which holds `outSize` bytes; on success
// `outSize` is the size written. A failure is zlib's code (-3 a damaged stream, -5 a
// document larger than `out`).
Status Inflate(uint8_t* out, std::size_t& outSize, const uint8_t* in, std::size_t inSize);

}  // namespace kalu
