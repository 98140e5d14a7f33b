#pragma once
// Stored view definitions: drops (any option but "C") or creates ("C") every view of a package on the server.

#include <cstdint>
#include <string>

#include "startup/context.h"

namespace kalu {

class PCONSULTASPG {
 public:
  explicit PCONSULTASPG(Context& ctx) : ctx_(ctx) {}
  void Run(std::string& AV12Archiv, std::string& AV13Opcion);

 private:
  Context& ctx_;
};

}  // namespace kalu
