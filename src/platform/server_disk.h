#pragma once
// The disk of the store's PostgreSQL server, when it runs on this machine: where its data
// folder is when SQL cannot tell (the store's role may not read data_directory), and the
// room left on a disk.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/status.h"

namespace kalu {

// The data folder of this machine's PostgreSQL service that listens on `port`, or of the
// only one there is, as the service's entry names it (Windows: the "-D" of the ImagePath
// of HKLM\SYSTEM\CurrentControlSet\Services\postgresql*; the port from the folder's
// postgresql.auto.conf and postgresql.conf, 5432 when they do not set one). Nothing when
// it cannot be told (on Linux the server's services keep no such entry).
std::optional<std::string> LocalServerDataFolder(int32_t port);

// The bytes this user may still write on the disk of `folder`; a failure with the system's
// reason when it cannot be told.
Status FreeDiskBytes(const std::string& folder, uint64_t& bytes);

}  // namespace kalu
