#include "rules/envmap.h"

#include <cstring>

#include "app/log.h"
#include "base/fs.h"
#include "base/path.h"
#include "base/textedit.h"
#include "base/timenum.h"
#include "base/tokens.h"
#include "rules/envmap_sys.h"

bool envVarRawGet(char const* name, CxStr1p& out) {
    return envSys().envVarRawGet(name, out);
}
bool envVarRawSet(char const* name, char const* value) {
    return envSys().envVarRawSet(name, value);
}
char const* envOsNameDefault() {
    return envSys().envOsNameDefault();
}
char** envBlock() {
    return envSys().envBlock();
}

namespace {

// Sign, decimal digits or "0x" hex; 0 when the text does not read.
bool readInt(CxStr1p const& v, long long& n) {
    if (intFromStrSet(n, v, false, false)) return true;
    n = 0;
    return false;
}

// A computed value worked out once; an empty result is worked out again.
struct EnvCache {
    char text[260];
    long long len;
};

EnvCache g_osName, g_home, g_tmp, g_user;

bool cacheGet(EnvCache& c, CxStr1p& out) {
    return out.setCstr(c.text, c.len);
}

void cachePut(EnvCache& c, CxStr1p const& v) {
    // Longer values are not cached: they are worked out at every request.
    if (v.length() < (long long)sizeof c.text) {
        memcpy(c.text, v.c_str(), (size_t)v.length() + 1);
        c.len = v.length();
    }
}

bool firstNonEmpty(CxStr1p& out, char const* a, char const* b) {
    if (envVarRawGet(a, out) && !out.isEmpty()) return true;
    return envVarRawGet(b, out) && !out.isEmpty();
}

} // namespace

bool envVarCWDSet(CxStr1p& out) {
    return fsCwdSet(out) && !out.isEmpty();
}
CxStr1p envVarCWD() {
    CxStr1p r;
    envVarCWDSet(r);
    return r;
}

bool envVarOS_NAMESet(CxStr1p& out) {
    out.clear();
    if (g_osName.len > 0) return cacheGet(g_osName, out);
    if (!envVarRawGet("OS_NAME", out) || out.isEmpty()) out = envOsNameDefault();
    cachePut(g_osName, out);
    return !out.isEmpty();
}
CxStr1p envVarOS_NAME() {
    CxStr1p r;
    envVarOS_NAMESet(r);
    return r;
}

bool envVarHOMESet(CxStr1p& out) {
    out.clear();
    if (g_home.len < 1) {
        CxStr1p v;
        if (!firstNonEmpty(v, "HOME", "USERPROFILE")) {
            CxStr1p drv, hp;
            envVarRawGet("HOMEDRIVE", drv);
            envVarRawGet("HOMEPATH", hp);
            pathJoinSet(v, drv, hp);
        }
        pathToSlashSet(v);
        cachePut(g_home, v);
        if (g_home.len < 1) {
            out = v;
            pathCleanAllSet(out);
            return !out.isEmpty();
        }
    }
    cacheGet(g_home, out);
    pathCleanAllSet(out);
    return !out.isEmpty();
}
CxStr1p envVarHOME() {
    CxStr1p r;
    envVarHOMESet(r);
    return r;
}

bool envVarTMPSet(CxStr1p& out) {
    out.clear();
    if (g_tmp.len < 1) {
        CxStr1p v;
        firstNonEmpty(v, "TMP", "TEMP");
        pathToSlashSet(v);
        cachePut(g_tmp, v);
        if (g_tmp.len < 1) {
            out = v;
            pathCleanAllSet(out);
            return !out.isEmpty();
        }
    }
    cacheGet(g_tmp, out);
    pathCleanAllSet(out);
    return !out.isEmpty();
}
CxStr1p envVarTMP() {
    CxStr1p r;
    envVarTMPSet(r);
    return r;
}

CxStr1p envTmpDirOwn() {
    CxStr1p dir = envVarTMP();
    if (dir.isEmpty()) dir = envVarGetDef("TMPDIR", "/tmp");
    return dir;
}

bool envVarUSERSet(CxStr1p& out) {
    out.clear();
    if (g_user.len > 0) return cacheGet(g_user, out) && !out.isEmpty();
    firstNonEmpty(out, "USER", "USERNAME");
    cachePut(g_user, out);
    return !out.isEmpty();
}
CxStr1p envVarUSER() {
    CxStr1p r;
    envVarUSERSet(r);
    return r;
}

bool envVarGetSet(CxStr1p const& name, CxStr1p& out) {
    out.clear();
    if (name.isEmpty()) return false;
    if (name == "CWD") return envVarCWDSet(out);
    if (name == "OS_NAME") return envVarOS_NAMESet(out);
    if (name == "_HOME_") return envVarHOMESet(out);
    if (name == "_TMP_") return envVarTMPSet(out);
    if (name == "_USER_") return envVarUSERSet(out);
    return envVarRawGet(name.c_str(), out);
}

CxStr1p envVarGet(CxStr1p const& name) {
    CxStr1p r;
    envVarGetSet(name, r);
    return r;
}

bool envVarSetExport(CxStr1p const& name, CxStr1p const& value) {
    if (name.isEmpty() || name.hasVal('=')) return false;
    return envVarRawSet(name.c_str(), value.c_str());
}

bool envVarSetExport(CxStr1p const& name, long long value) {
    return envVarSetExport(name, strFromInt(value));
}

bool envVarUnset(CxStr1p const& name) {
    return envVarSetExport(name, CxStr1p());
}

EnvMap* EnvMap::_p = nullptr;

bool EnvMap::varSet(CxStr1p const& name, CxStr1p const& value) {
    if (name.isEmpty()) return false;
    return setKV(name, value);
}

bool EnvMap::varSet(CxStr1p const& name, long long value) {
    return varSet(name, strFromInt(value));
}

bool EnvMap::varSetExport(CxStr1p const& name, CxStr1p const& value) {
    if (!varSet(name, value)) return false;
    CxStr1p* v = find(name);
    return envVarSetExport(name, v ? *v : value);
}

bool EnvMap::varSetExport(CxStr1p const& name, long long value) {
    return varSetExport(name, strFromInt(value));
}

bool EnvMap::varUnset(CxStr1p const& name) {
    if (name.isEmpty()) return false;
    delAt(name);
    envVarUnset(name);
    return true;
}

bool EnvMap::varGet(CxStr1p const& name, CxStr1p& out) {
    out.clear();
    if (name == "CWD") return envVarCWDSet(out);
    if (name.isEmpty()) return true;
    if (CxStr1p* v = find(name)) return out.setObj(*v);
    CxStr1p env;
    if (envVarGetSet(name, env)) {
        if (!varSet(name, env)) return false;
        return out.setMove(env);
    }
    return true;
}

CxStr1p EnvMap::varGet(CxStr1p const& name) {
    CxStr1p r;
    varGet(name, r);
    return r;
}

bool EnvMap::varGetSetDef(CxStr1p const& name, CxStr1p& out, CxStr1p const& def) {
    out.clear();
    if (name.isEmpty()) return false;
    if (CxStr1p* v = find(name)) {
        if (v->isEmpty() && !v->setObj(def)) return false;
        return out.setObj(*v);
    }
    CxStr1p env;
    if (!envVarGetSet(name, env)) env = def;
    if (!varSet(name, env)) return false;
    return out.setMove(env);
}

CxStr1p EnvMap::varGetSetDef(CxStr1p const& name, CxStr1p const& def) {
    CxStr1p r;
    varGetSetDef(name, r, def);
    return r;
}

bool EnvMap::varNameExport(CxStr1p const& name) {
    CxStr1p* v = name.isEmpty() ? nullptr : find(name);
    return v && envVarSetExport(name, *v);
}

bool EnvMap::varGetInt(CxStr1p const& name, long long& out) {
    out = 0;
    CxStr1p v;
    return !name.isEmpty() && varGet(name, v) && readInt(v, out);
}

long long EnvMap::varGetInt(CxStr1p const& name) {
    long long n = 0;
    varGetInt(name, n);
    return n;
}

bool EnvMap::varGetBool(CxStr1p const& name, bool& out) {
    long long n = 0;
    bool ok = varGetInt(name, n);
    out = n > 0;
    return ok;
}

bool EnvMap::varGetBool(CxStr1p const& name) {
    return varGetInt(name) > 0;
}

bool EnvMap::varGetIntDef(CxStr1p const& name, long long& out, long long def) {
    out = 0;
    CxStr1p v;
    return varGetSetDef(name, v, strFromInt(def)) && readInt(v, out);
}

long long EnvMap::varGetIntDef(CxStr1p const& name, long long def) {
    long long n = 0;
    varGetIntDef(name, n, def);
    return n;
}

bool EnvMap::setObj(EnvMap const& other) {
    if (this == &other) return true;
    EnvMap copy;
    if (!copy.copyFrom(other) || copy.size() != other.size()) return false;
    swap(copy);
    return true;
}

// ---- free forms

bool envMapVarSet(EnvMap& map, CxStr1p const& name, CxStr1p const& value) {
    return map.varSet(name, value);
}
bool envMapVarSetExport(EnvMap& map, CxStr1p const& name, CxStr1p const& value) {
    return map.varSetExport(name, value);
}
bool envMapVarUnset(EnvMap& map, CxStr1p const& name) {
    return map.varUnset(name);
}
bool envMapVarGetSet(EnvMap& map, CxStr1p& out, CxStr1p const& name) {
    return map.varGet(name, out);
}
CxStr1p envMapVarGet(EnvMap& map, CxStr1p const& name) {
    return map.varGet(name);
}
long long envMapVarGetInt(EnvMap& map, CxStr1p const& name) {
    return map.varGetInt(name);
}
bool envMapVarGetBool(EnvMap& map, CxStr1p const& name) {
    return map.varGetBool(name);
}

bool envMap2VarGet(VarOverlay const& overlay, EnvMap& map, CxStr1p& out, CxStr1p const& name) {
    out.clear();
    if (name == "CWD") return envVarCWDSet(out);
    if (CxStr1p const* v = overlay.find(name)) return out.setObj(*v);
    return map.varGet(name, out);
}

CxStr1p envMap2VarGet(VarOverlay const& overlay, EnvMap& map, CxStr1p const& name) {
    CxStr1p r;
    envMap2VarGet(overlay, map, r, name);
    return r;
}

long long envMap2VarGetInt(VarOverlay const& overlay, EnvMap& map, CxStr1p const& name) {
    long long n;
    readInt(envMap2VarGet(overlay, map, name), n);
    return n;
}

bool envMap2VarGetBool(VarOverlay const& overlay, EnvMap& map, CxStr1p const& name) {
    return envMap2VarGetInt(overlay, map, name) > 0;
}

// ---- environment readers

namespace {

// Length of the name of an environment entry, -1 for an entry without "=".
long long entryNameLen(char const* entry) {
    char const* eq = strchr(entry, '=');
    return eq ? eq - entry : -1;
}

// "P*" matches names starting with P, anything else the whole name; no case.
bool nameMatches(char const* name, long long nameLen, CxStr1p const& pat) {
    long long n = pat.length();
    bool prefix = n > 0 && pat.last() == '*';
    if (prefix) --n;
    if (prefix ? nameLen < n : nameLen != n) return false;
    return cstrIsEqIcaseN(name, pat.c_str(), n);
}

char const kSepsDefault[] = " \t\r\n|";
char const kKeepDefaults[] =
    " ALLUSERSPROFILE APPDATA COMPUTERNAME COMSPEC CommonProgram* DISPLAY HOME* LANG* "
    "LOCALAPPDATA LOGONSERVER OS* PATH PATHEXT PROCESSOR_* PROGRAM* PUBLIC SHELL SSH_* "
    "SYSTEMDRIVE SYSTEMROOT TEMP TERM TMP USER* ";
char g_userKeep[2048];

} // namespace

bool envVarSetExportVerify(CxStr1p const& name, CxStr1p const& value) {
    if (!envVarSetExport(name, value)) return false;
    CxStr1p back;
    envVarRawGet(name.c_str(), back);
    return back == value;
}

bool envVarSetExportVerify(CxStr1p const& name, long long value) {
    return envVarSetExportVerify(name, strFromInt(value));
}

CxStr1p envVarGetDef(CxStr1p const& name, CxStr1p const& def) {
    CxStr1p r;
    if (!envVarGetSet(name, r)) r = def;
    return r;
}

long long envVarGetInt(CxStr1p const& name) {
    long long n;
    readInt(envVarGet(name), n);
    return n;
}

long long envVarGetIntDef(CxStr1p const& name, long long def) {
    CxStr1p v;
    if (!envVarGetSet(name, v)) return def;
    long long n;
    readInt(v, n);
    return n;
}

bool envVarGetBool(CxStr1p const& name) {
    return envVarGetInt(name) > 0;
}

bool envVarGetBoolDef(CxStr1p const& name, bool def) {
    CxStr1p v;
    if (!envVarGetSet(name, v)) return def;
    long long n;
    readInt(v, n);
    return n > 0;
}

bool envVarsTextSet(CxStr1p& out, char sep) {
    out.clear();
    char** env = envBlock();
    if (!env) return false;
    bool ok = true;
    for (; *env; ++env)
        ok = strSepAdd(out, *env, sep) && ok;
    return strAddQuoteSet(out, sep) && ok;
}

CxStr1p envVarsText(char sep) {
    CxStr1p r;
    envVarsTextSet(r, sep);
    return r;
}

bool envVarsListNamesSet(CxStr1p& out, char sep) {
    out.clear();
    char** env = envBlock();
    if (!env) return false;
    bool ok = true;
    for (; *env; ++env) {
        long long n = entryNameLen(*env);
        if (n > 0) ok = strSepAdd(out, CxStr1p(*env, n), sep) && ok;
    }
    return strAddQuoteSet(out, sep) && ok;
}

CxStr1p envVarsListNames(char sep) {
    CxStr1p r;
    envVarsListNamesSet(r, sep);
    return r;
}

long long envVarsCount() {
    long long n = 0;
    if (char** env = envBlock())
        for (; env[n]; ++n) {
        }
    return n;
}

// ---- dumps

namespace {

bool dumpHeader(CxStr1p& pats, CxStr1p& title, CxStr1p const& patterns, CxStr1p const& tdef,
                CxStr1p const& titleIn) {
    pats = patterns.isEmpty() ? CxStr1p("*") : patterns;
    title = titleIn.isEmpty() ? tdef : titleIn;
    return echos(">> ", title.c_str(), " \"", pats.c_str(), "\" >> ");
}

bool dumpTrailer(CxStr1p const& title, long long count, CxStr1p const& pats) {
    return echof("<< %s [%lli] \"%s\" <<", title.c_str(), count, pats.c_str());
}

} // namespace

bool envMapVarsDump(EnvMap const& map, CxStr1p const& patterns, CxStr1p const& title) {
    CxStr1p pats, t, pat;
    bool ok = dumpHeader(pats, t, patterns, "varsDump", title);
    long long count = 0, pos = 0;
    while (strToken(pat, pos, pats, kSepsDefault))
        for (auto const& node : map)
            if (nameMatches(node.key.c_str(), node.key.length(), pat)) {
                ok = echos("  ", node.key.c_str(), "='", node.val.c_str(), "'") && ok;
                ++count;
            }
    return dumpTrailer(t, count, pats) && ok;
}

bool envVarsDump(CxStr1p const& patterns, CxStr1p const& title) {
    CxStr1p pats, t, pat;
    dumpHeader(pats, t, patterns, "envVarsDump", title);
    char** env = envBlock();
    long long count = 0, pos = 0;
    while (env && strToken(pat, pos, pats, kSepsDefault))
        for (char** e = env; *e; ++e) {
            long long n = entryNameLen(*e);
            if (n >= 0 && nameMatches(*e, n, pat)) {
                echos("  ", *e);
                ++count;
            }
        }
    dumpTrailer(t, count, pats);
    return env != nullptr;
}

// ---- clearing

CxStr1p envVarsKeepDefaults() {
    CxStr1p r(kKeepDefaults);
    strSepAdd(r, g_userKeep, ' ');
    r += ' ';
    return r;
}

bool envVarsSetUserKeep(CxStr1p const& names) {
    if (names.length() >= (long long)sizeof g_userKeep) return false;
    memcpy(g_userKeep, names.c_str(), (size_t)names.length() + 1);
    return true;
}

bool envVarsClearExcept(CxStr1p const& names, char const* seps) {
    if (!seps || !*seps) seps = kSepsDefault;
    CxStr1p keep = envVarsKeepDefaults(), tok, all, name;
    long long pos = 0;
    while (strToken(tok, pos, names, seps)) {
        if (tok == "--reset")
            keep.clear();
        else if (!strSepAdd(keep, tok, ' '))
            return false;
    }
    if (!envVarsListNamesSet(all, ' ')) return false;
    bool ok = true;
    pos = 0;
    while (strToken(name, pos, all, " ")) {
        bool kept = false;
        long long kpos = 0;
        while (!kept && strToken(tok, kpos, keep, seps))
            kept = nameMatches(name.c_str(), name.length(), tok) || strIsEqIcase(name, tok);
        if (!kept) ok = envVarSetExport(name, CxStr1p()) && ok;
    }
    return ok;
}
