#pragma once
// Package download: PFTPGETXMZ fetches a package from the central package server named in
// the store's preferences file, into the package folder, and inflates it there;
// POBTPREFS reads one item of a section of that preferences file.

#include <cstdint>
#include <string>

#include "platform/ftp.h"
#include "run/context.h"

namespace kalu {

class PFTPGETXMZ {
 public:
  explicit PFTPGETXMZ(Context& ctx) : ctx_(ctx) {}
  // Downloads `fileName` into `folder`, which comes back with
  // blanks removed, a "\" at its end and every "\\" reduced to "\", and inflates it. True
  // when the file arrived.
  bool Run(const std::string& fileName, std::string& folder);

  // Bounds of the transfer's waits (tests make them short).
  FtpLimits ftpLimits;

 private:
  Context& ctx_;
};

class POBTPREFS {
 public:
  explicit POBTPREFS(Context& ctx) : ctx_(ctx) {}
  // The text of the first element `item` inside the first element
  // `section` of the file `file`, or empty.
  std::string Run(const std::string& file, const std::string& section, const std::string& item);

 private:
  Context& ctx_;
};

}  // namespace kalu
