#include "platform/registry.h"

namespace kalu {

// The system keeps no registry: the store system's values live in a registry file.
std::unique_ptr<RegistryStore> ProcessRegistry() {
  return std::make_unique<RegistryFile>(DefaultRegistryPath());
}

}  // namespace kalu
