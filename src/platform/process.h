#pragma once
// What the program knows of its process and machine: where its executable is, the
// workstation's and the logged-in user's names, whether a stream is a terminal; and the
// program's way to its terminal: UTF-8 text out, a wait for a key in.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace kalu {

// The program's arguments as UTF-8 texts, its own name first (the system's own command line
// where the C runtime would hand `argv` over in another code page).
std::vector<std::string> ProgramArguments(int argc, char** argv);
// The full path of the running executable (UTF-8); `argv0` when the system cannot tell.
std::string ProgramPath(const char* argv0);
// The workstation's name, cut to `length` characters and trimmed; empty for a length of 0
// or less, or when the system cannot tell.
std::string WorkstationName(int16_t length);
// The name of the user logged in, empty when the system cannot tell.
std::string LoginName();
// True when `stream` is an interactive terminal.
bool IsTerminal(std::FILE* stream);

// Gives the process a console of its own for its standard streams when they go nowhere:
// a window program (one without a console) told to show its run in the terminal. Streams
// that go somewhere already (a console, a pipe, a file) stay as they are.
void EnsureConsole();

// Writes UTF-8 `text` to `stream` and flushes it: on a terminal in the characters the
// terminal shows (its colour sequences honoured), elsewhere (a pipe, a file) as the UTF-8
// bytes they are. False when it could not be written.
bool WriteText(std::FILE* stream, std::string_view text);
// Waits until input is waiting on `stream` or `ms` milliseconds have passed; returns
// whether input is waiting.
bool WaitForInput(std::FILE* stream, int ms);

}  // namespace kalu
