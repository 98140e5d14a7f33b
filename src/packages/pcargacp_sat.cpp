#include "packages/pcargacp_sat.h"

namespace kalu {

void PCARGACP_SAT::Run([[maybe_unused]] int16_t& AV26Local) { (void)ctx_; }

}  // namespace kalu
