#include "packages/pcargacatcolonias.h"

namespace kalu {

void PCARGACATCOLONIAS::Run([[maybe_unused]] int16_t& AV26Local) { (void)ctx_; }

}  // namespace kalu
