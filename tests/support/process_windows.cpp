#include <windows.h>

#include "platform/wide_text.h"
#include "support/process.h"

namespace kalu::test {

namespace {

// A handle closed when it goes.
struct Handle {
  HANDLE h = nullptr;
  ~Handle() {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

// One argument quoted as the C runtime reads a command line back into argv.
std::wstring Quoted(const std::wstring& arg) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& args) {
  ProcessResult result;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  Handle read, write, input;
  if (!CreatePipe(&read.h, &write.h, &inherit, 0)) return result;
  SetHandleInformation(read.h, HANDLE_FLAG_INHERIT, 0);
  input.h = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                        OPEN_EXISTING, 0, nullptr);
  std::wstring command;
  for (const std::string& arg : args)
    command += (command.empty() ? L"" : L" ") + Quoted(WideOf(arg));
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = input.h;
  start.hStdOutput = write.h;
  start.hStdError = write.h;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                      &process)) {
    return result;
  }
  Handle child{process.hProcess}, thread{process.hThread};
  CloseHandle(write.h);
  write.h = nullptr;
  // The output is read until the child has ended and nothing is left: the end of the pipe
  // cannot be waited for, as the system's own processes that the child starts (under Wine)
  // may hold its writing end.
  char buf[4096];
  for (bool ended = false;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(read.h, nullptr, 0, nullptr, &available, nullptr)) break;
    if (available > 0) {
      DWORD n = 0;
      if (!ReadFile(read.h, buf, sizeof buf, &n, nullptr) || n == 0) break;
      result.output.append(buf, n);
    } else if (ended) {
      break;
    } else {
      ended = WaitForSingleObject(child.h, 20) == WAIT_OBJECT_0;
    }
  }
  DWORD status = 0;
  GetExitCodeProcess(child.h, &status);
  result.status = static_cast<int>(status);
  return result;
}

}  // namespace kalu::test
