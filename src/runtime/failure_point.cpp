#include "runtime/failure_point.h"

#ifdef KALU_FAILURE_POINTS

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kalu {

void FailurePoint(std::string_view point, std::string_view subject, int64_t n) {
  const char* chosen = std::getenv(kFailurePointVariable);
  if (!chosen || !*chosen) return;
  std::string here(point);
  std::string_view wanted(chosen);
  if (wanted != here) {
    here += ':';
    here += subject;
    if (wanted != here) {
      here += ':' + std::to_string(n);
      if (wanted != here) return;
    }
  }
  std::fprintf(stderr, "kalu-upgrade: punto de falla %s\n", chosen);
  std::_Exit(kFailurePointExitStatus);
}

}  // namespace kalu

#endif
