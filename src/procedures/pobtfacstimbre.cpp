#include "procedures/pobtfacstimbre.h"

namespace kalu {

void POBTFACSTIMBRE::Run([[maybe_unused]] int16_t& AV8Regcve, [[maybe_unused]] int16_t& AV9Unicve, [[maybe_unused]] int16_t& AV10Almcve) { (void)ctx_; }

}  // namespace kalu
