#include "procedures/pactualizasat.h"

namespace kalu {

void PACTUALIZASAT::Run([[maybe_unused]] int16_t& AV13Opc) { (void)ctx_; }

}  // namespace kalu
