#include "exec/builtin_sys.h"

// What the built-ins decline goes to /bin/sh.
ShellWords const& hostShellWords() {
    return kShellWordsPosix;
}
