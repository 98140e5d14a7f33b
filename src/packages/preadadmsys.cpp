#include "packages/preadadmsys.h"

#include "platform/zqregacc.h"
#include "runtime/text.h"

namespace kalu {

void PREADADMSYS::Run(std::string& AV8Path, std::string& AV9Valor) {
  ZQRegAcc registry;
  std::string system =
      Trim(registry.ReadRegKey("HKEY_CURRENT_USER\\Software\\Tellmark\\Administracion\\Sistema"));
  AV9Valor = registry.ReadRegKey("HKEY_CURRENT_USER\\Software\\" + system + "\\" + Trim(AV8Path));
  ProcedureEpilogue(ctx_, /*commit=*/false);
}

}  // namespace kalu
