#include "rules/envmap.h"

#include <cstring>

#include "base/fs.h"
#include "base/path.h"
#include "base/timenum.h"

namespace {

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
    CxStr1p t;
    strFromIntSet(t, value, 0, ' ', false);
    return envVarSetExport(name, t);
}

bool envVarUnset(CxStr1p const& name) {
    return envVarSetExport(name, CxStr1p());
}

bool EnvMap::varSet(CxStr1p const& name, CxStr1p const& value) {
    if (name.isEmpty()) return false;
    return setKV(name, value);
}

bool EnvMap::varSet(CxStr1p const& name, long long value) {
    CxStr1p t;
    strFromIntSet(t, value, 0, ' ', false);
    return varSet(name, t);
}

bool EnvMap::varSetExport(CxStr1p const& name, CxStr1p const& value) {
    if (!varSet(name, value)) return false;
    CxStr1p* v = find(name);
    return envVarSetExport(name, v ? *v : value);
}

bool EnvMap::varSetExport(CxStr1p const& name, long long value) {
    CxStr1p t;
    strFromIntSet(t, value, 0, ' ', false);
    return varSetExport(name, t);
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
