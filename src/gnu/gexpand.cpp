#include "gnu/gexpand.h"

// Plain text only until references and functions are read.
bool gmExpandAdd(CxStr1p& out, CxStr1p const& text, GmExpandCtx&) {
    return out.addObj(text);
}

bool gmExpand(CxStr1p& out, CxStr1p const& text, GmExpandCtx& ctx) {
    out.clear();
    return gmExpandAdd(out, text, ctx);
}

bool gmExpandVar(CxStr1p& out, CxStr1p const& name, GmExpandCtx& ctx) {
    out.clear();
    GmVars const* s = ctx.scope ? ctx.scope : ctx.global;
    GmVar* v = s ? s->find(name) : nullptr;
    if (!v) return true;
    return v->flavor == GmFlavor::Simple ? out.setObj(v->value) : gmExpandAdd(out, v->value, ctx);
}
