#include "exec/builtin_sys.h"

// What the built-ins decline goes to cmd.exe.
ShellWords const& hostShellWords() {
    return kShellWordsCmd;
}

char const* hostNullDevice() {
    return "NUL";
}

bool hostLinkIsCopy() {
    return true;
}
