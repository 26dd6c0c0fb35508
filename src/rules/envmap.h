// The variable store of the rules language and the process environment under
// it: a lookup that misses the store falls through to the environment and keeps
// what it finds.
#pragma once

#include "base/containers.h"
#include "base/str.h"

class EnvMap : public Map_Kobj2Vobj<CxStr1p, CxStr1p> {
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
};

// Process environment; computed names ("CWD", "OS_NAME", "_HOME_", "_TMP_",
// "_USER_") are answered before the environment is asked.
bool envVarGetSet(CxStr1p const& name, CxStr1p& out);
CxStr1p envVarGet(CxStr1p const& name);
bool envVarSetExport(CxStr1p const& name, CxStr1p const& value);
bool envVarSetExport(CxStr1p const& name, long long value);
bool envVarUnset(CxStr1p const& name);

bool envVarCWDSet(CxStr1p& out);
CxStr1p envVarCWD();
bool envVarOS_NAMESet(CxStr1p& out);
CxStr1p envVarOS_NAME();
bool envVarHOMESet(CxStr1p& out);
CxStr1p envVarHOME();
bool envVarTMPSet(CxStr1p& out);
CxStr1p envVarTMP();
bool envVarUSERSet(CxStr1p& out);
CxStr1p envVarUSER();

// Platform parts.
bool envVarRawGet_OnWin(char const* name, CxStr1p& out);
bool envVarRawGet_OnPosix(char const* name, CxStr1p& out);
bool envVarRawSet_OnWin(char const* name, char const* value);
bool envVarRawSet_OnPosix(char const* name, char const* value);
char const* envOsNameDefault_OnWin();
char const* envOsNameDefault_OnPosix();
// Raw access picking the platform: true when the name is set (even empty).
bool envVarRawGet(char const* name, CxStr1p& out);
// An empty value removes the name.
bool envVarRawSet(char const* name, char const* value);
char const* envOsNameDefault();
