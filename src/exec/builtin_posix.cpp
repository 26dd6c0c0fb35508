#include "exec/builtin.h"

// What the built-ins decline goes to /bin/sh.
ShellWords const& shellWords() {
    return kShellWordsPosix;
}
