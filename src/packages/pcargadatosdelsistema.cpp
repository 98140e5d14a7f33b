#include "packages/pcargadatosdelsistema.h"

namespace kalu {

void PCARGADATOSDELSISTEMA::Run([[maybe_unused]] int16_t& AV18Local) { (void)ctx_; }

}  // namespace kalu
