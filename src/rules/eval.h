// Evaluation of rules texts: assignments with their operators.
#pragma once

#include "base/str.h"
#include "rules/envmap.h"
#include "rules/lineparse.h"

// One assignment operator ("=", ":=", "+=", "-=", "%=", "/="); the result is
// stored with varSet, not exported.
bool evalVarOpValue(CxStr1p const& name, CxStr1p const& op, CxStr1p const& value, EnvMap& store,
                    CxStr1p* err);
// Applies an assignment line (only when parts.isVarOp) and records the outcome.
bool evalLinePartsOpVar(LineParts& parts, EnvMap& store, CxStr1p* err);
