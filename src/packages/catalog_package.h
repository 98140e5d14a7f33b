#pragma once
// What the catalogue loaders share: bringing their package into the package folder as
// plain XML, and walking it node by node.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/xml.h"
#include "run/context.h"

namespace kalu {

// The package folder as the loaders hand it to the package reader and the download.
inline constexpr const char* kPackageFolder = ".\\Importar";

// Makes `fileName` in the package folder readable as XML and returns the document the
// loader reads: with `local` not 0 the package already there is inflated in place (a
// missing or empty package raises the reader's run-time error), and the document comes
// from memory, whether or not the package could be rewritten; with 0 it is downloaded
// first. Nothing when the download failed, and the loader then reads nothing.
std::optional<std::string> ObtainPackage(Context& ctx, int16_t local, const std::string& fileName);

// The document of `fileName` opened on `reader`, named as the package folder names it.
void OpenPackage(XmlReader& reader, const std::string& fileName, std::string document);

// Opens the document of `fileName` on `reader` and hands the current node's name, trailing
// blanks removed, to `visit`, then reads the next node, testing for the end of the document
// before every node (`visit` may read on itself). At the end the reader is closed and the
// progress text cleared; a document the reader could not read to its end is noted in the
// run log under `app`.
// The running step is told how far the walk is in the package (its bytes read of its size).
void WalkPackage(Context& ctx, XmlReader& reader, const std::string& app,
                 const std::string& fileName, std::string document,
                 const std::function<void(const std::string&)>& visit);

// Tells the running step how far `reader` is in its package: bytes read of its size.
void PackageProgress(Context& ctx, const XmlReader& reader);

// After a walk of `fileName` by `reader` (closed or not): a document that could not be opened
// or read to its end is written to the run log under `app`, and the running step, which
// then did not load the package, ends as failed while the run goes on. True when the
// document was read whole.
bool PackageReadWhole(Context& ctx, const XmlReader& reader, const std::string& app,
                      const std::string& fileName);

}  // namespace kalu
