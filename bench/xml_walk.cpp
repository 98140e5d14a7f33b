// Inflates a generated package of about 50 MB in place and walks it with the XML reader,
// the way the catalogue loads do; prints the speed and the peak memory of the process.
//
//   bench_xml_walk [megabytes]

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "packages/package_format.h"
#include "packages/pfunciones_mod.h"
#include "platform/xml.h"
#include "support/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;  // kilobytes on Linux
}

// A postal-code catalogue of about `bytes` bytes, the shape of CP_SAT_CFDI33.XMZ.
std::string Catalogue(std::size_t bytes) {
  std::string doc = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<CP_SAT>\n";
  doc.reserve(bytes + 256);
  for (long long i = 0; doc.size() < bytes; ++i) {
    doc += "  <CODIGO>\n    <C_CP>" + std::to_string(10000 + i % 90000) +
           "</C_CP>\n    <C_ESTADO>" + std::to_string(i % 32 + 1) +
           "</C_ESTADO>\n    <ALIAS>Estado de M\xe9xico</ALIAS>\n    <NOMBRE><![CDATA[Colonia " +
           std::to_string(i * 7919 % 100003) +
           " & Ca\xf1"
           "ada]]></NOMBRE>\n  </CODIGO>\n";
  }
  return doc + "</CP_SAT>\n";
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
  kalu::test::WorkFolder folder;
  std::filesystem::create_directories(folder.Path() / "Importar");
  const std::filesystem::path package = folder.Path() / "Importar" / "CP_SAT_CFDI33.XMZ";

  // The package is made in a child process, so that the document held to make it does not
  // count in the peak memory measured here.
  pid_t child = fork();
  if (child == 0) {
    auto packed = kalu::PackDocument(Catalogue(megabytes * 1024 * 1024));
    if (packed.empty()) {
      std::fprintf(stderr, "bench_xml_walk: compress failed\n");
      _exit(1);
    }
    if (kalu::Status written = kalu::ReplaceFileContent(package, packed.data(), packed.size());
        !written.ok()) {
      std::fprintf(stderr, "bench_xml_walk: %s\n", written.text().c_str());
      _exit(1);
    }
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "bench_xml_walk: the package could not be made\n");
    return 1;
  }
  const double packageMb = std::filesystem::file_size(package) / 1048576.0;
  const double baseline = PeakMegabytes();

  kalu::test::TestContext ctx;
  auto start = Clock::now();
  kalu::DecompressPackageFile(*ctx, ".\\Importar", "CP_SAT_CFDI33.XMZ");
  const double inflateSeconds = Seconds(start);
  const double documentMb = std::filesystem::file_size(package) / 1048576.0;
  const double afterInflate = PeakMegabytes();

  start = Clock::now();
  kalu::XmlReader reader;
  reader.Open(".\\importar\\CP_SAT_CFDI33.XMZ");
  long long nodes = 0;
  std::size_t valueBytes = 0;
  while (!reader.Eof()) {
    if (reader.Read() < 1) break;
    ++nodes;
    valueBytes += reader.Value().size();
  }
  const double walkSeconds = Seconds(start);
  reader.Close();

  // The same walk telling how far it is in the package every 1024 nodes, as the catalogue
  // loads tell their step (in an ISO-8859-1 document, where asking costs the most).
  start = Clock::now();
  reader.Open(".\\importar\\CP_SAT_CFDI33.XMZ");
  long long reports = 0;
  int64_t lastBytes = 0;
  reader.ReportProgress(
      [&] {
        ++reports;
        lastBytes = reader.BytesRead() * 100 / reader.Size();
      },
      1024);
  while (!reader.Eof()) {
    if (reader.Read() < 1) break;
  }
  const double progressSeconds = Seconds(start);
  reader.Close();

  std::printf("package            %8.1f MB compressed, %.1f MB document\n", packageMb, documentMb);
  std::printf("inflate in place   %8.2f s   %8.1f MB/s\n", inflateSeconds,
              documentMb / inflateSeconds);
  std::printf(
      "walk               %8.2f s   %8.1f MB/s   %.0f nodes/s   (%lld nodes, %zu value "
      "bytes, error %d)\n",
      walkSeconds, documentMb / walkSeconds, nodes / walkSeconds, nodes, valueBytes,
      reader.status().code());
  std::printf("walk with progress %8.2f s   %8.1f MB/s   (%lld reports, last at %lld %%)\n",
              progressSeconds, documentMb / progressSeconds, reports,
              static_cast<long long>(lastBytes));
  std::printf(
      "peak memory        %8.1f MB before, %.1f MB after inflating, %.1f MB after the "
      "walk = %.2f x the document\n",
      baseline, afterInflate, PeakMegabytes(), PeakMegabytes() / documentMb);
  return reader.status().code() == 0 ? 0 : 1;
}
