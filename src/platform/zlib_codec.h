#pragma once
// zlib's one-call compression of whole buffers, as the packages use it. The statuses are
// zlib's own numbers, which the package reader shows to the operator ("ERROR -5: …").

#include <cstddef>
#include <cstdint>

namespace kalu {

constexpr int kZlibOk = 0;

// The largest size `Deflate` may need for `size` input bytes.
std::size_t DeflateBound(std::size_t size);

// Compresses `in` into `out`, which holds `outSize` bytes; on success `outSize` is the
// size written. Returns zlib's status.
int Deflate(uint8_t* out, std::size_t& outSize, const uint8_t* in, std::size_t inSize);

// Inflates the zlib stream `in` into `out`, which holds `outSize` bytes; on success
// `outSize` is the size written. Returns zlib's status (-3 a damaged stream, -5 a document
// larger than `out`).
int Inflate(uint8_t* out, std::size_t& outSize, const uint8_t* in, std::size_t inSize);

}  // namespace kalu
