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
  // Downloads AV11Srcfil into the folder AV13Pathds (which comes back with blanks removed,
  // a "\" at its end and every "\\" reduced to "\") and inflates it; AV9Envio is true when
  // the file arrived.
  void Run(std::string& AV11Srcfil, std::string& AV13Pathds, int16_t& AV9Envio);

  // Bounds of the transfer's waits (tests make them short).
  FtpLimits ftpLimits;

 private:
  Context& ctx_;
};

class POBTPREFS {
 public:
  explicit POBTPREFS(Context& ctx) : ctx_(ctx) {}
  // AV12Valor = the text of the first element AV11Dato inside the first element AV10Seccio
  // of the file AV9Archivo, or empty.
  void Run(std::string& AV9Archivo, std::string& AV10Seccio, std::string& AV11Dato,
           std::string& AV12Valor);

 private:
  Context& ctx_;
};

}  // namespace kalu
