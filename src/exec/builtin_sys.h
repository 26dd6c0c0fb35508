// The platform part of exec/builtin.
#pragma once

#include "exec/builtin.h"

// The words of the interpreter that runs what the built-ins decline.
ShellWords const& hostShellWords();
// The null device's name ("/dev/null" on POSIX).
char const* hostNullDevice();
// True where sh's "ln -s" makes a copy (Windows: links need privileges there).
bool hostLinkIsCopy();
