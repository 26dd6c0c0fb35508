// Running a goal's recipe: line by line, in-process where a handler takes the
// command, through the command interpreter otherwise.
#pragma once

#include "base/str.h"

// Offered every command before the interpreter: true when handled in-process
// (ok then tells success); may rewrite cmd for the interpreter.
typedef bool (*RedirCmdFn)(bool& ok, CxStr1p& cmd);

// The level-2 line for a recipe's failing command (or one an interrupt stopped).
void logCommandFailed(int rc, CxStr1p const& cmd);

// Every line of text; stops at the first failing one, and before any line
// once an interrupt was recorded. rc: the last command's exit code. errCmd
// (optional): the failing line as written.
bool runTxtCmds(int& rc, CxStr1p const& text, RedirCmdFn redir, CxStr1p* errCmd = nullptr);
bool runCmdRedirOrSys(int& rc, CxStr1p const& line, RedirCmdFn redir, CxStr1p* errCmd = nullptr);
bool redirCmdAny(bool& ok, CxStr1p& cmd);
// "echo", "varsDump", "envVarsDump" (silenced above pass level 0) and "export".
bool redirEnvFns(bool& ok, CxStr1p const& name, CxStr1p const& args);
// The command interpreter; rc is the command's own exit code.
bool run(int& rc, CxStr1p const& cmd);
bool run(CxStr1p const& cmd);
int runCif(char const* cmd);
