#include "exec/builtin_sys.h"

// What the built-ins decline goes to /bin/sh.
ShellWords const& hostShellWords() {
    return kShellWordsPosix;
}

char const* hostNullDevice() {
    return "/dev/null";
}

bool hostLinkIsCopy() {
    return false;
}
