// windows.h first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <io.h>
#include <lmcons.h>
#include <shellapi.h>
// clang-format on

#include <algorithm>
#include <vector>

#include "platform/process.h"
#include "platform/wide_text.h"
#include "runtime/text.h"

namespace kalu {

namespace {

// The console behind a stream, or null when the stream goes elsewhere (a pipe, a file).
HANDLE ConsoleOf(std::FILE* stream) {
  const intptr_t handle = _get_osfhandle(_fileno(stream));
  if (handle == -1) return nullptr;
  DWORD mode = 0;
  return GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode) ? reinterpret_cast<HANDLE>(handle)
                                                                 : nullptr;
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8Of(wide[i]));
  LocalFree(wide);
  return arguments;
}

std::string ProgramPath(const char* argv0) {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return argv0;
    if (length < path.size()) return Utf8Of(std::wstring_view(path.data(), length));
    path.resize(path.size() * 2);
  }
}

std::string WorkstationName(int16_t length) {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (length <= 0 || !GetComputerNameW(name, &size)) return "";
  return Trim(CutToChars(Utf8Of(std::wstring_view(name, size)), length));
}

std::string LoginName() {
  wchar_t name[UNLEN + 1] = {};
  DWORD size = UNLEN + 1;
  if (!GetUserNameW(name, &size) || size == 0) return "";
  return Utf8Of(std::wstring_view(name, size - 1));  // the size counts the final null
}

bool IsTerminal(std::FILE* stream) {
  return ConsoleOf(stream) != nullptr;
}

void EnsureConsole() {
  // A window program's streams go nowhere unless whoever started it gave it some.
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (GetConsoleWindow() || (out && out != INVALID_HANDLE_VALUE)) return;
  if (!AllocConsole()) return;
  // A stream that cannot be reopened stays where it went: nowhere, as before.
  std::FILE* reopened = nullptr;
  _wfreopen_s(&reopened, L"CONIN$", L"r", stdin);
  _wfreopen_s(&reopened, L"CONOUT$", L"w", stdout);
  _wfreopen_s(&reopened, L"CONOUT$", L"w", stderr);
}

bool WriteText(std::FILE* stream, std::string_view text) {
  HANDLE console = ConsoleOf(stream);
  if (!console) {
    const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    return std::fflush(stream) == 0 && written;
  }
  std::fflush(stream);
  // The console takes the colour and line sequences the display writes once it is told to.
  DWORD mode = 0;
  if (GetConsoleMode(console, &mode) && !(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
    SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  }
  const std::wstring wide = WideOf(text);
  std::size_t done = 0;
  while (done < wide.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
    if (!WriteConsoleW(console, wide.data() + done, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

bool WaitForInput(std::FILE* stream, int ms) {
  const intptr_t handle = _get_osfhandle(_fileno(stream));
  if (handle == -1 || GetFileType(reinterpret_cast<HANDLE>(handle)) != FILE_TYPE_CHAR) {
    Sleep(static_cast<DWORD>(ms));
    return false;
  }
  return WaitForSingleObject(reinterpret_cast<HANDLE>(handle), static_cast<DWORD>(ms)) ==
         WAIT_OBJECT_0;
}

}  // namespace kalu
