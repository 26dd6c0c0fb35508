// Everyday recipe commands carried out inside the process: echo (with ">" and
// ">>"), cat (on request), cp, cprec, mkdir, rm, rmrec, rmdir, touch, touchrec
// and sleep. Anything needing shell semantics is declined untouched.
#pragma once

#include "base/str.h"

// How the platform's command interpreter reads a line, where that differs from
// the built-ins' own reading. A line the interpreter would read otherwise goes
// to the interpreter whole: a built-in must never change what a line means.
struct ShellWords {
    char const* quotes;   // characters that quote for the interpreter
    char escape;          // its escape character
    char const* ops;      // unquoted: end, chain or redirect a command
    char const* specials; // unquoted: need the interpreter
    char const* always;   // need the interpreter even inside quotes
    char const* starts;   // need the interpreter at the start of a word
    char const* seps;     // unquoted: split the operands of the interpreter's own
                          // commands and end a redirection's file (words echo prints keep them)
    bool sh;              // every quote in a word is removed, and '`' and "$(" run
                          // commands, also inside "..." where '$' expands
    char const* own;      // its keywords and own commands ("a|b"), which no program replaces
};
extern ShellWords const kShellWordsPosix; // /bin/sh
extern ShellWords const kShellWordsCmd;   // cmd.exe
ShellWords const& shellWords();           // this platform's

// One token as written (quotes kept) into the word the built-ins use; false
// when the interpreter would read it otherwise. name: an operand or file name,
// not a word that echo prints.
bool builtinWord(CxStr1p& out, CxStr1p const& raw, ShellWords const& sh, bool name);
// True when the interpreter would do nothing with args but pass them on as
// words: no further command, redirection or substitution.
bool shellArgsOnlyWords(CxStr1p const& args, ShellWords const& sh);
// True when the interpreter would only start the line's first word as a
// program with the other words as its arguments: no character or word it
// treats specially, and the first word none of its own commands. Such a line
// can start its program directly.
bool shellLineDirect(CxStr1p const& line, ShellWords const& sh);

// Seconds of one sleep operand ("1.5", "30s", "2m", "1h"); false for any
// other form, which the interpreter's sleep should judge.
bool sleepDurationSec(double& sec, CxStr1p const& op);
// Sleeps; false when an interrupt ended it early.
bool sleepInterruptible(double sec);

// True when the command was handled here; ok then tells whether it succeeded.
// ok is false on entry and stays false for a declined command.
bool redirCmdExtern(bool& ok, CxStr1p const& name, CxStr1p const& args);
