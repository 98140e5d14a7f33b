#include "packages/preadadmsys.h"

#include "platform/zqregacc.h"
#include "runtime/text.h"

namespace kalu {

std::string PREADADMSYS::Run(const std::string& path) {
  ZQRegAcc registry;
  std::string system =
      Trim(registry.ReadRegKey("HKEY_CURRENT_USER\\Software\\Tellmark\\Administracion\\Sistema"));
  std::string value =
      registry.ReadRegKey("HKEY_CURRENT_USER\\Software\\" + system + "\\" + Trim(path));
  ProcedureEpilogue(ctx_, /*commit=*/false);
  return value;
}

}  // namespace kalu
