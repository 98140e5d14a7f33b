#pragma once
// The store's region and unit as the Carta Porte imports take them: from the last CONTROL
// row in region, unit, warehouse order.

#include <cstdint>
#include <string_view>

#include "run/context.h"

namespace kalu {

// Reads every CONTROL row through the procedure's own cursor `cursorId`; the last row's
// CtrReg and CtrUni end in `region` and `unit`, which stay as they are when CONTROL is
// empty.
void ReadLastControlRegionAndUnit(Context& ctx, std::string_view app, std::string_view cursorId,
                                  int16_t& region, int16_t& unit);

}  // namespace kalu
