#include "packages/pcargavistaspg.h"

namespace kalu {

void PCARGAVISTASPG::Run([[maybe_unused]] int16_t& AV17Local) { (void)ctx_; }

}  // namespace kalu
