// The platform part of exec/builtin.
#pragma once

#include "exec/builtin.h"

// The words of the interpreter that runs what the built-ins decline.
ShellWords const& hostShellWords();
