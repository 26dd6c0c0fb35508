#include "rules/eval.h"

#include "app/log.h"
#include "base/path.h"
#include "base/textedit.h"

namespace {

// old with every occurrence of part removed, in one pass.
bool strDelAllSet(CxStr1p& out, CxStr1p const& old, CxStr1p const& part) {
    out.clear();
    if (part.isEmpty()) return out.setObj(old);
    long long from = 0, idx = -1;
    while (strFindIdx(idx, old, part, from) && idx >= 0) {
        if (!out.addCstr(old.c_str() + from, idx - from)) return false;
        from = idx + part.length();
    }
    return out.addCstr(old.c_str() + from);
}

} // namespace

bool evalVarOpValue(CxStr1p const& name, CxStr1p const& op, CxStr1p const& value, EnvMap& store,
                    CxStr1p* err) {
    CxStr1p old, nv;
    bool ok = true;
    if (op == "=" || op == ":=") {
        ok = nv.setObj(value);
    } else if (op == "+=" || op == "-=" || op == "%=" || op == "/=") {
        if (!store.varGet(name, old)) return false;
        if (op == "+=")
            ok = nv.setMove(old) && nv.addObj(value);
        else if (op == "-=")
            ok = nv.setMove(old) && strSepAdd(nv, value, ' ');
        else if (op == "%=")
            ok = strDelAllSet(nv, old, value);
        else
            ok = pathJoinSet(nv, old, value);
    } else {
        err2strf(err, "Unknown operator '%s'", op.c_str());
        return false;
    }
    return ok && store.varSet(name, nv);
}

bool evalLinePartsOpVar(LineParts& parts, EnvMap& store, CxStr1p* err) {
    if (!parts.isVarOp) return false;
    parts.isEvalDone = true;
    parts.isEvalOk = evalVarOpValue(parts.name, parts.op, parts.value, store, err);
    return parts.isEvalOk;
}
