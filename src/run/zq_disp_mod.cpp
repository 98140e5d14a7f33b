#include "run/zq_disp_mod.h"

#include <cstring>
#include <filesystem>

#include "database/session.h"
#include "platform/paths.h"
#include "platform/settings_file.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace kalu {

namespace {

std::string WithBackslash(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

// The report viewer of the window runtime is never opened by this program.
int ReportViewerAlive() {
  return 0;
}

}  // namespace

std::string SettingsFilePath(const std::string& programPath) {
  const std::filesystem::path p = PathOf(programPath);
  std::string folder = TextOf(p.parent_path());
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder + Trim(TextOf(p.stem())) + ".INI";
}

std::string ReadSettingsPath(const std::string& settingsFile, std::string defaultFolder,
                             std::string_view key) {
  defaultFolder = WithBackslash(std::move(defaultFolder));
  // The system reads each setting into a buffer of 2048 characters.
  std::optional<std::string> value = ReadSettingsValue(PathOf(settingsFile), "ZQFiles", key);
  std::string result = value ? value->substr(0, 2047) : defaultFolder;
  result = result.substr(0, result.find('\0'));
  return WithBackslash(std::move(result));
}

void StartUp(Context& ctx, const std::string& programPath, const std::string& logname) {
  std::string programFolder = TextOf(PathOf(programPath).parent_path());
  std::string settings = SettingsFilePath(programPath);
  ctx.folders.data = ReadSettingsPath(settings, programFolder, "DataPath");
  ctx.folders.data2 = ReadSettingsPath(settings, programFolder, "DataPath");
  ctx.folders.menu = ReadSettingsPath(settings, programFolder, "MenuPath");
  ctx.folders.graph = ReadSettingsPath(settings, programFolder, "GraphPath");
  ctx.folders.chart = ReadSettingsPath(settings, programFolder, "ChartPath");
  ctx.folders.aux = ReadSettingsPath(settings, programFolder, "AuxPath");

  std::string user = Trim(logname);
  ctx.userName = user.empty() ? "GUEST" : user;

  ctx.savedPointer = ctx.display.MousePointer();
  ctx.display.SetMousePointer(kPointerHourglass);

  ctx.session.Initialize();

  ctx.localDatabasePath = ctx.folders.data + "Kalu.MDB";
  ctx.desktopDb.Open(ctx.localDatabasePath);  // a failure leaves it unopened, silently

  ctx.runningProgram = "AZT903114";
  ctx.display.ShowMainWindow();
}

bool AdjustRunCounter(Context& ctx, int16_t delta) {
  int32_t counter = static_cast<int32_t>(ctx.runCounter) + delta;
  if (counter < INT16_MIN || counter > INT16_MAX) RaiseOverflow();
  ctx.runCounter = static_cast<int16_t>(counter);
  return ctx.runCounter == 0;
}

void Shutdown(Context& ctx) {
  if (ctx.desktopDb.IsOpen()) ctx.desktopDb.Close();
  ctx.session.End();
  ctx.display.HideWindows();
  do {
    ctx.display.WaitForInput(800);
    ctx.display.PumpMessages();
  } while (ReportViewerAlive() > 0);
}

void CloseMainWindow(Context& ctx) {
  if (ctx.desktopDb.IsOpen()) ctx.desktopDb.Close();
  ctx.session.End();
}

}  // namespace kalu
