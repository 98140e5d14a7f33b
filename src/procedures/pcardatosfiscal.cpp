#include "procedures/pcardatosfiscal.h"

namespace kalu {

void PCARDATOSFISCAL::Run([[maybe_unused]] int16_t& A52RegCve, [[maybe_unused]] int16_t& A54UniCve, [[maybe_unused]] int16_t& A56AlmCve) { (void)ctx_; }

}  // namespace kalu
