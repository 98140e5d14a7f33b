#include "run/sequence_only.h"

#include <filesystem>

#include "platform/paths.h"
#include "platform/settings_file.h"
#include "runtime/text.h"

namespace kalu {

std::string SettingsFilePath(const std::string& programPath) {
  const std::filesystem::path p = PathOf(programPath);
  std::string folder = TextOf(p.parent_path());
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder + Trim(TextOf(p.stem())) + ".INI";
}

std::string ReadSettingsPath(const std::string& settingsFile, std::string defaultFolder,
                             std::string_view key) {
  // The system reads each setting into a buffer of 2048 characters.
  std::optional<std::string> value = ReadSettingsValue(PathOf(settingsFile), "ZQFiles", key);
  std::string result = value ? value->substr(0, 2047) : std::move(defaultFolder);
  result = result.substr(0, result.find('\0'));
  if (result.empty() || result.back() != '\\') result += '\\';
  return result;
}

void SequenceOnly::ReadFolders(const std::string& programPath) {
  std::string programFolder = TextOf(PathOf(programPath).parent_path());
  std::string settings = SettingsFilePath(programPath);
  folders.data = ReadSettingsPath(settings, programFolder, "DataPath");
  folders.data2 = ReadSettingsPath(settings, programFolder, "DataPath");
  folders.menu = ReadSettingsPath(settings, programFolder, "MenuPath");
  folders.graph = ReadSettingsPath(settings, programFolder, "GraphPath");
  folders.chart = ReadSettingsPath(settings, programFolder, "ChartPath");
  folders.aux = ReadSettingsPath(settings, programFolder, "AuxPath");
}

bool DesktopDatabase::Open(std::string_view systemPath) {
  file_.reset(OpenFile(NativePath(systemPath), "r+b"));
  return file_ != nullptr;
}

void SequenceOnly::OpenDesktopDatabase() {
  localDatabasePath = folders.data + "Kalu.MDB";
  desktopDb.Open(localDatabasePath);
}

}  // namespace kalu
