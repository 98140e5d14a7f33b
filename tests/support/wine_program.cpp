#include "support/wine_program.h"

#include <cstdlib>
#include <fstream>

#include "gen/sandbox.h"
#include "support/process.h"
#include "support/test_support.h"

namespace kalu::test {

std::optional<std::filesystem::path> NamedWindowsProgram() {
  const char* program = std::getenv("KALU_WINDOWS_PROGRAM");
  if (!program || !*program) return std::nullopt;
  return std::filesystem::path(program);
}

std::vector<std::string> WindowsProgramUnderWine(const std::filesystem::path& program,
                                                 std::string& problem) {
  const std::string wineRun = (SourceDir() / "scripts" / "wine-run").string();
  setenv("WINEPREFIX", (program.parent_path() / "wine").c_str(), 1);
  std::ofstream("Kalu.dsn") << "[ODBC]\nServername=127.0.0.1\nPort="
                            << gen::Sandbox::In(SandboxDir()).port << "\n";
  ProcessResult imported = RunProcess({wineRun, "reg", "import", "registry.reg"});
  if (imported.status != 0) {
    problem = imported.output;
    return {};
  }
  return {wineRun, program.string()};
}

}  // namespace kalu::test
