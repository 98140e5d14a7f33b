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
  // Downloads `fileName` (AV11Srcfil) into `folder` (AV13Pathds), which comes back with
  // blanks removed, a "\" at its end and every "\\" reduced to "\", and inflates it. True
  // (AV9Envio) when the file arrived.
  bool Run(const std::string& fileName, std::string& folder);

  // Bounds of the transfer's waits (tests make them short).
  FtpLimits ftpLimits;

 private:
  Context& ctx_;
};

class POBTPREFS {
 public:
  explicit POBTPREFS(Context& ctx) : ctx_(ctx) {}
  // The text (AV12Valor) of the first element `item` (AV11Dato) inside the first element
  // `section` (AV10Seccio) of the file `file` (AV9Archivo), or empty.
  std::string Run(const std::string& file, const std::string& section, const std::string& item);

 private:
  Context& ctx_;
};

}  // namespace kalu
