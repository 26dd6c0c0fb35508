#include "gnu/gvars.h"

GmVar* GmVars::find(CxStr1p const& name) const {
    for (GmVars const* s = this; s; s = s->parent)
        if (GmVar* v = s->map.find(name)) return v;
    return nullptr;
}

GmVar* GmVars::set(CxStr1p const& name, CxStr1p const& value, GmFlavor flavor, GmOrigin origin) {
    GmVar* v = map.find(name);
    if (!v) {
        if (!map.addKV(name, GmVar())) return nullptr;
        v = map.find(name);
        if (!v) return nullptr;
    }
    if (!v->value.setObj(value)) return nullptr;
    v->flavor = flavor;
    v->origin = origin;
    return v;
}

char const* gmOriginName(GmOrigin o) {
    switch (o) {
    case GmOrigin::Default:
        return "default";
    case GmOrigin::Environment:
        return "environment";
    case GmOrigin::EnvOverride:
        return "environment override";
    case GmOrigin::File:
        return "file";
    case GmOrigin::CommandLine:
        return "command line";
    case GmOrigin::Override:
        return "override";
    case GmOrigin::Automatic:
        return "automatic";
    case GmOrigin::Undefined:
        break;
    }
    return "undefined";
}
