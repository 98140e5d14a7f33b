#pragma once
// What the Carta Porte imports read from the store besides their own rows: the store's
// region and unit, and the rows already there for the keys of a reply.

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "run/context.h"

namespace kalu {

// Reads every CONTROL row through the procedure's own cursor `cursorId`; the last row's
// CtrReg and CtrUni end in `region` and `unit`, which stay as they are when CONTROL is
// empty.
void ReadLastControlRegionAndUnit(Context& ctx, std::string_view app, std::string_view cursorId,
                                  int16_t& region, int16_t& unit);

// The rows of the reply's `keys` that are in the store, read at once through `cursorId`,
// whose statement takes the keys as "= ANY (CAST(? AS bpchar[]))" and reads the key and
// the row's local flag: key as CharKey gives it (of `width`) → local flag.
std::map<std::string, int16_t> ReadStoredLocals(Context& ctx, std::string_view app,
                                                std::string_view cursorId, std::string_view sql,
                                                std::span<const std::string> keys, int width);

}  // namespace kalu
