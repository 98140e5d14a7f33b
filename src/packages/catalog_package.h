#pragma once
// What the catalogue loaders share: bringing their package into the package folder as
// plain XML, and walking it node by node.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/xml.h"
#include "run/context.h"

namespace kalu {

// The package folder as the loaders hand it to the package reader and the download.
inline constexpr const char* kPackageFolder = ".\\Importar";

// Makes `fileName` in the package folder readable as XML: with `local` not 0 the package
// already there is inflated in place (a missing or empty package raises the reader's
// run-time error); with 0 it is downloaded first. False when the download failed, and the
// loader then reads nothing.
bool ObtainPackage(Context& ctx, int16_t local, const std::string& fileName);

// Opens ".\importar\" + `fileName` on `reader` and hands the current node's name, trailing
// blanks removed, to `visit`, then reads the next node, testing for the end of the document
// before every node (`visit` may read on itself). At the end the reader is closed and the
// progress text cleared; a document the reader could not read to its end is noted in the
// run log under `app`.
// The running step is told how far the walk is in the package (its bytes read of its size).
void WalkPackage(Context& ctx, XmlReader& reader, const std::string& app,
                 const std::string& fileName, const std::function<void(const std::string&)>& visit);

// Tells the running step how far `reader` is in its package: bytes read of its size.
void PackageProgress(Context& ctx, const XmlReader& reader);

}  // namespace kalu
