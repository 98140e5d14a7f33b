#pragma once
// Who holds what a statement of the run waited for in vain: when a statement fails because
// a lock was not granted within the lock timeout (SQLSTATE 55P03), a second connection to
// the same database lists the other sessions that hold locks on its tables in an open
// transaction, and the operator reads what to close.

#include <cstdint>
#include <string>

namespace kalu {

// The operator's text for a lock timeout: what happened, the sessions holding locks on the
// database's tables (application, client address, since when their transaction is open)
// but the run's own `runPid`, and the remedy. Read through `connectionData` and `fileDsn`
// as the run's session connects.
std::string LockTimeoutText(const std::string& connectionData, const std::string& fileDsn,
                            int32_t runPid);

}  // namespace kalu
