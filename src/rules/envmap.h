// The variable store of the rules language and the process environment under
// it: a lookup that misses the store falls through to the environment and keeps
// what it finds.
#pragma once

#include "base/containers.h"
#include "base/str.h"

class EnvMap : public StrMap {
  public:
    bool varSet(CxStr1p const& name, CxStr1p const& value);
    bool varSet(CxStr1p const& name, long long value);
    bool varSetExport(CxStr1p const& name, CxStr1p const& value);
    bool varSetExport(CxStr1p const& name, long long value);
    bool varUnset(CxStr1p const& name);
    bool varGet(CxStr1p const& name, CxStr1p& out);
    CxStr1p varGet(CxStr1p const& name);
    bool varGetSetDef(CxStr1p const& name, CxStr1p& out, CxStr1p const& def);
    CxStr1p varGetSetDef(CxStr1p const& name, CxStr1p const& def);
    CxStr1p* atPtrVar(CxStr1p const& name) { return find(name); }
    bool varNameExport(CxStr1p const& name);
    bool varGetInt(CxStr1p const& name, long long& out);
    long long varGetInt(CxStr1p const& name);
    bool varGetBool(CxStr1p const& name, bool& out);
    bool varGetBool(CxStr1p const& name);
    bool varGetIntDef(CxStr1p const& name, long long& out, long long def);
    long long varGetIntDef(CxStr1p const& name, long long def);
    bool setObj(EnvMap const& other);

    // The run's store, owned by the run driver; only while appMain runs.
    static EnvMap* _p;
};

// The same as the members, for callers holding a store.
bool envMapVarSet(EnvMap& map, CxStr1p const& name, CxStr1p const& value);
bool envMapVarSetExport(EnvMap& map, CxStr1p const& name, CxStr1p const& value);
bool envMapVarUnset(EnvMap& map, CxStr1p const& name);
bool envMapVarGetSet(EnvMap& map, CxStr1p& out, CxStr1p const& name);
CxStr1p envMapVarGet(EnvMap& map, CxStr1p const& name);
long long envMapVarGetInt(EnvMap& map, CxStr1p const& name);
bool envMapVarGetBool(EnvMap& map, CxStr1p const& name);

// Lookups with a caller's own variables laid over the store.
typedef StrMap VarOverlay;
bool envMap2VarGet(VarOverlay const& overlay, EnvMap& map, CxStr1p& out, CxStr1p const& name);
CxStr1p envMap2VarGet(VarOverlay const& overlay, EnvMap& map, CxStr1p const& name);
long long envMap2VarGetInt(VarOverlay const& overlay, EnvMap& map, CxStr1p const& name);
bool envMap2VarGetBool(VarOverlay const& overlay, EnvMap& map, CxStr1p const& name);

// Listings on standard output: a header, one line per match of each pattern
// ("P*" prefix, else the whole name; case ignored), a trailer with the count.
bool envMapVarsDump(EnvMap const& map, CxStr1p const& patterns, CxStr1p const& title);
bool envVarsDump(CxStr1p const& patterns, CxStr1p const& title);

// Process environment; computed names ("CWD", "OS_NAME", "_HOME_", "_TMP_",
// "_USER_") are answered before the environment is asked.
bool envVarGetSet(CxStr1p const& name, CxStr1p& out);
CxStr1p envVarGet(CxStr1p const& name);
bool envVarSetExport(CxStr1p const& name, CxStr1p const& value);
bool envVarSetExport(CxStr1p const& name, long long value);
bool envVarUnset(CxStr1p const& name);
bool envVarSetExportVerify(CxStr1p const& name, CxStr1p const& value);
bool envVarSetExportVerify(CxStr1p const& name, long long value);
CxStr1p envVarGetDef(CxStr1p const& name, CxStr1p const& def);
long long envVarGetInt(CxStr1p const& name);
long long envVarGetIntDef(CxStr1p const& name, long long def);
bool envVarGetBool(CxStr1p const& name);
bool envVarGetBoolDef(CxStr1p const& name, bool def);

// The whole environment: entries joined with sep and wrapped in it.
bool envVarsTextSet(CxStr1p& out, char sep);
CxStr1p envVarsText(char sep);
bool envVarsListNamesSet(CxStr1p& out, char sep);
CxStr1p envVarsListNames(char sep);
long long envVarsCount();

// Clearing the environment down to a keep-list: the defaults, the user's
// names, then the names given ("--reset" drops everything before it).
CxStr1p envVarsKeepDefaults();
bool envVarsSetUserKeep(CxStr1p const& names);
bool envVarsClearExcept(CxStr1p const& names, char const* seps);

bool envVarCWDSet(CxStr1p& out);
CxStr1p envVarCWD();
bool envVarOS_NAMESet(CxStr1p& out);
CxStr1p envVarOS_NAME();
bool envVarHOMESet(CxStr1p& out);
CxStr1p envVarHOME();
bool envVarTMPSet(CxStr1p& out);
CxStr1p envVarTMP();
// Where the tool's own temporary files go: TMP or TEMP, else TMPDIR or /tmp,
// never the project directory.
CxStr1p envTmpDirOwn();
bool envVarUSERSet(CxStr1p& out);
CxStr1p envVarUSER();

// Raw access picking the platform: true when the name is set (even empty).
bool envVarRawGet(char const* name, CxStr1p& out);
// An empty value removes the name.
bool envVarRawSet(char const* name, char const* value);
char const* envOsNameDefault();
// The process environment block (entries "name=value"), or null.
char** envBlock();
