#include "exec/builtin.h"

// What the built-ins decline goes to cmd.exe.
ShellWords const& shellWords() {
    return kShellWordsCmd;
}
