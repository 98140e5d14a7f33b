// Package inflation on any package bytes, and packing any document. What must hold:
//  - a failed inflation returns one of zlib's failure codes and leaves the package's bytes
//    as they were; a successful one gives a document no larger than its output room;
//  - a packed document inflates back to itself.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "check.h"
#include "packages/package_format.h"
#include "packages/pfunciones_mod.h"

namespace {

using kalu::fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size >= kalu::kPackageSizeField) {
    const std::vector<uint8_t> file(data, data + size);
    kalu::PackageInput input = kalu::SplitPackage(file);
    const std::vector<uint8_t> before = input.buffer;
    const int32_t result = kalu::InflateBuffer(input.buffer, input.declaredSize).code();
    if (result == 0) {
      Check(input.declaredSize >= 0 &&
                input.buffer.size() <=
                    static_cast<std::size_t>(kalu::InflateCapacity(input.declaredSize)),
            "an inflated document fits its output room");
    } else {
      Check(result == kalu::kInflateDataError || result == kalu::kInflateBufferError ||
                result == kalu::kInflateMemoryError,
            "a failed inflation gives a zlib failure code");
      Check(input.buffer == before, "a failed inflation leaves the package's bytes unchanged");
    }
  }

  std::string_view document(reinterpret_cast<const char*>(data), size);
  kalu::PackageInput packed = kalu::SplitPackage(kalu::PackDocument(document));
  Check(kalu::InflateBuffer(packed.buffer, packed.declaredSize).ok(), "a packed document inflates");
  Check(std::string_view(reinterpret_cast<const char*>(packed.buffer.data()),
                         packed.buffer.size()) == document,
        "a packed document inflates back to itself");
  return 0;
}
