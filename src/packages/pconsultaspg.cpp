#include "packages/pconsultaspg.h"

namespace kalu {

void PCONSULTASPG::Run([[maybe_unused]] std::string& AV12Archiv, [[maybe_unused]] std::string& AV13Opcion) { (void)ctx_; }

}  // namespace kalu
