#include "exec/builtin_sys.h"

// What the built-ins decline goes to cmd.exe.
ShellWords const& hostShellWords() {
    return kShellWordsCmd;
}
