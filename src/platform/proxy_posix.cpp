#include <cstdlib>

#include "platform/proxy.h"

namespace kalu {

std::string SystemProxyFor(const ProxyTarget& target) {
  if (IsLoopbackHost(target.host)) return {};
  return ProxyFromEnvironment(target, [](const char* name) { return std::getenv(name); });
}

}  // namespace kalu
