// The GNU make dialect's reader: a Makefile's lines, directives, conditionals,
// variables and rules, read as GNU make does; at the end every goal's recipe
// is expanded with its automatic variables and handed on through the hooks.
#pragma once

#include "base/containers.h"
#include "base/str.h"
#include "gnu/gexpand.h"

// Where the goals go; the run driver installs the goal table's functions.
struct GmHooks {
    bool (*addDeps)(CxStr1p const& goal, CxStr1p const& deps) = nullptr; // "a b | c"
    bool (*addCmd)(CxStr1p const& goal, CxStr1p const& line) = nullptr;
    bool (*addPhony)(CxStr1p const& list) = nullptr;
    bool (*setDefault)(CxStr1p const& goal) = nullptr;
    // Exported variables reach the recipes' environment; unset: value null.
    bool (*setEnv)(CxStr1p const& name, CxStr1p const* value) = nullptr;
    GmShellFn shell = nullptr;
};

struct GmReadIn {
    CxStr1p file; // as named in messages ("Makefile")
    CxStr1p text;
    CxStr1p makeCmd;           // value of MAKE
    CxStr1p curDir;            // value of CURDIR
    Vect1p_Vobj<CxStr1p> args; // the command line's goals and VAR=value words
    bool noBuiltinRules = false; // -r
};

// Reads the Makefile. goals receives the requested goals (the command line's
// words that are not assignments). False after a fatal error, whose message
// ("Makefile:3: *** missing separator.  Stop.") is in err.
bool gmReadMakefile(GmReadIn const& in, GmHooks const& hooks, Vect1p_Vobj<CxStr1p>& goals,
                    CxStr1p& err);
