#pragma once
// What the program knows of its process and machine: where its executable is, the
// workstation's and the logged-in user's names, whether a stream is a terminal.

#include <cstdint>
#include <cstdio>
#include <string>

namespace kalu {

// The full path of the running executable; `argv0` when the system cannot tell.
std::string ProgramPath(const char* argv0);
// The workstation's name, cut to `length` characters and trimmed; empty for a length of 0
// or less, or when the system cannot tell.
std::string WorkstationName(int16_t length);
// The name of the user logged in, empty when the system cannot tell.
std::string LoginName();
// True when `stream` is an interactive terminal.
bool IsTerminal(std::FILE* stream);

}  // namespace kalu
