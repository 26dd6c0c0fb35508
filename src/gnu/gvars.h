// The GNU make dialect's variables: a value with its flavour (expanded when
// used, or once when assigned) and origin, in scopes that chain to the global
// table (target-specific values, $(call) arguments, $(foreach) variables).
#pragma once

#include "base/containers.h"
#include "base/str.h"

enum class GmFlavor : char { Undefined, Recursive, Simple };
enum class GmOrigin : char {
    Undefined,
    Default,
    Environment,
    EnvOverride, // -e
    File,
    CommandLine,
    Override,
    Automatic
};

struct GmVar {
    CxStr1p value;
    GmFlavor flavor = GmFlavor::Recursive;
    GmOrigin origin = GmOrigin::File;
    bool exported = false;     // "export NAME" was given
    bool unexported = false;   // "unexport NAME" was given
    mutable bool busy = false; // being expanded: met again, it refers to itself
};

class GmVars {
  public:
    Map_Kobj2Vobj<CxStr1p, GmVar> map;
    GmVars const* parent = nullptr; // looked at when a name is not here

    // The variable of that name here or in a parent scope; null when none.
    GmVar* find(CxStr1p const& name) const;
    // Only this scope.
    GmVar* findHere(CxStr1p const& name) const { return map.find(name); }
    // Sets (replaces) the variable in this scope; null when out of memory.
    GmVar* set(CxStr1p const& name, CxStr1p const& value, GmFlavor flavor, GmOrigin origin);
    bool undefine(CxStr1p const& name) { return map.delAt(name); }
};

// "default", "environment", "file", "command line", "override", "automatic",
// "undefined" as $(origin) gives them.
char const* gmOriginName(GmOrigin o);
