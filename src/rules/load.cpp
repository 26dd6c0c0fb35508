#include "rules/load.h"

#include "rules/envmap.h"
#include "rules/eval.h"
#include "rules/expand.h"
#include "rules/load_sys.h"

bool varsAfterConfEvalLoop() {
    EnvMap& store = *EnvMap::_p;
    // A snapshot of the names: look-ups made by the expansion may add entries.
    StrVect names;
    bool ok = names.reserve(store.size());
    for (auto const& n : store)
        ok = names.addVal(n.key) && ok;
    CxStr1p empty, value;
    for (CxStr1p const& name : names) {
        CxStr1p* stored = store.find(name);
        if (!stored) continue;
        if (!value.setObj(*stored) || !evalStrSet(store, value, empty, nullptr, false)) {
            ok = false;
            continue;
        }
        if (value != *stored && !store.varSet(name, value)) ok = false;
    }
    return ok;
}

char const* loadParseOptions() {
    return hostParseOptions();
}
