// The GNU make dialect's reader: a Makefile's lines, directives, conditionals,
// variables and rules, read as GNU make does; at the end every goal's recipe
// is expanded with its automatic variables and handed on through the hooks.
#pragma once

#include <memory>

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
    // A goal's marks: 'k' kept when its recipe fails (.PRECIOUS),
    // 'i' an intermediate file, removed at the end once made, 'f' always
    // remade, 'l' its recipe lines are as written, to be expanded later.
    bool (*setMarks)(CxStr1p const& goal, char const* marks) = nullptr;
    // The goal of a "::" rule is up to date by the time of its target's file.
    bool (*setTimeOf)(CxStr1p const& goal, CxStr1p const& file) = nullptr;
    GmShellFn shell = nullptr;
};

// An included Makefile, for remaking it before the Makefile is read again.
struct GmInclude {
    CxStr1p name;          // as found (through -I) or, when missing, as written
    CxStr1p where;         // "Makefile:3", for the message when it stays missing
    bool required = false; // "include", not "-include"/"sinclude"
    bool missing = false;
    bool hasRule = false; // a goal with a recipe (explicit or implicit) after reading
};

// What expands the recipes of goals marked 'l' when they are about to be made
// (GmReadIn::lazyRecipes): the reader, kept after reading.
class GmRecipeSource {
  public:
    virtual ~GmRecipeSource() = default;
    // The goal's recipe lines, each followed by "\n". False after a fatal
    // error ("Makefile:3: *** text.  Stop."), in err.
    virtual bool expand(CxStr1p const& goal, CxStr1p& lines, CxStr1p& err) = 0;
};

struct GmReadOut {
    Vect1p_Vobj<GmInclude> includes;         // also the Makefiles named with -f, required
    bool notParallel = false;                // .NOTPARALLEL
    bool posixShell = true;                  // SHELL names a POSIX shell, run with "-c"
    std::shared_ptr<GmRecipeSource> recipes; // with lazyRecipes
};

struct GmReadIn {
    CxStr1p file; // as named in messages ("Makefile")
    CxStr1p text;
    CxStr1p makeCmd;             // value of MAKE
    CxStr1p curDir;              // value of CURDIR
    StrVect args;                // the command line's goals and VAR=value words
    StrVect moreFiles;           // further -f files, read after the first
    StrVect includeDirs;         // -I
    CxStr1p host;                // MAKE_HOST
    CxStr1p makeLevel;           // MAKELEVEL: "0" at the top
    CxStr1p flags;               // make's one-letter flags of this run, for MAKEFLAGS
    long long restarts = 0;      // MAKE_RESTARTS
    bool noBuiltinRules = false; // -r
    bool noBuiltinVars = false;  // -R
    bool envOverrides = false;   // -e
    bool warnUndefined = false;  // --warn-undefined-variables
    // Recipes that name variables are expanded just before they run, as make
    // does (GmReadOut::recipes); else when reading ends.
    bool lazyRecipes = false;
};

// Reads the Makefile. goals receives the requested goals (the command line's
// words that are not assignments). False after a fatal error, whose message
// ("Makefile:3: *** missing separator.  Stop.") is in err.
bool gmReadMakefile(GmReadIn const& in, GmHooks const& hooks, StrVect& goals, CxStr1p& err,
                    GmReadOut* out = nullptr);
