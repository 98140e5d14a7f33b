#pragma once
// Named moments at which a test build ends the process at once, as a power cut or a kill
// would: no destructor runs, nothing is flushed, nothing is committed. Built only with the
// CMake option KALU_FAILURE_POINTS (off in Release and in the Debian package); without it
// every call compiles to nothing.
//
//   FailurePoint("batch-copied", table_, batches_);
//
// The environment variable KALU_FAILURE_POINT names the moment: "<point>" stops at the
// first time the point is reached, "<point>:<subject>" at the first time with that subject
// (a table, a file name, a step), "<point>:<subject>:<n>" when the caller counts the n-th
// time (from 1). The process then ends with kFailurePointExitStatus.
//
// The points of the program:
//   step:<step>               a step begins (its key in the run report)
//   statement-sent:schema:<n> the n-th schema change is sent, not yet committed
//   views-dropped:<what>      views dropped, not yet created again ("EdoCtaFolios_View",
//                             or the package of the stored views)
//   file-written:<file name>  a replacement file is written whole, not yet renamed over
//                             the file it replaces
//   batch-copied:<table>:<n>  the n-th batch of a writer is in its temporary table, not
//                             yet applied
//   batch-applied:<table>:<n> the n-th batch is applied, not yet committed

#include <cstdint>
#include <string_view>

namespace kalu {

constexpr int kFailurePointExitStatus = 86;
constexpr const char* kFailurePointVariable = "KALU_FAILURE_POINT";

#ifdef KALU_FAILURE_POINTS
void FailurePoint(std::string_view point, std::string_view subject = {}, int64_t n = 0);
#else
inline void FailurePoint(std::string_view, std::string_view = {}, int64_t = 0) {}
#endif

}  // namespace kalu
