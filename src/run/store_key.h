#pragma once
// The key of the store whose database is upgraded or checked: the active CONTROL row's.

#include <cstdint>

namespace kalu {

struct StoreKey {
  int16_t region = 0;
  int16_t unit = 0;
  int16_t warehouse = 0;
};

}  // namespace kalu
