// Evaluation of rules texts: line by line expansion, parsing and action
// (dotted settings, rules and recipes through callbacks, assignments,
// includes, exports and the in-rules commands).
#pragma once

#include "base/containers.h"
#include "base/str.h"
#include "rules/envmap.h"
#include "rules/lineparse.h"

typedef bool (*EvalRuleFn)(CxStr1p const& target, CxStr1p const& deps);
typedef bool (*EvalRecipeFn)(CxStr1p const& target, CxStr1p const& line);
typedef bool (*EvalDefaultGoalFn)(CxStr1p const& goal);
// Called for every parsed line an include did not handle; may set
// parts.isEvalDone / isEvalOk.
typedef bool (*EvalLineHookFn)(LineParts& parts, EnvMap& store, CxStr1p const& evalName,
                               CxStr1p* err);

// Runs the command of a "run" / "runOk" line; true when it succeeded. Without
// one installed every "run" line fails.
typedef bool (*EvalRunFn)(CxStr1p const& cmd);
void evalSetRunFn(EvalRunFn fn);

// Installs the callbacks; false (and not ready) when any is null.
bool evalTextMakeInitFns(EvalRuleFn rule, EvalRecipeFn recipe, EvalDefaultGoalFn defaultGoal);
// Evaluates a whole text. fileName names it in messages, on the include
// stack and in the evaluated-files list (both optional).
bool evalTextMake(CxStr1p const& text, EnvMap& store, CxStr1p const& evalName,
                  EvalLineHookFn lineHook, CxStr1p* err, char const* parseOptions,
                  CxStr1p const& fileName, StrVect* includeStack, StrVect* evaluatedFiles);

// One assignment operator ("=", ":=", "+=", "-=", "%=", "/="); the result is
// stored with varSet, not exported.
bool evalVarOpValue(CxStr1p const& name, CxStr1p const& op, CxStr1p const& value, EnvMap& store,
                    CxStr1p* err);
// Applies an assignment line (only when parts.isVarOp) and records the outcome.
bool evalLinePartsOpVar(LineParts& parts, EnvMap& store, CxStr1p* err);
// Checks an include line and reads its file into out (empty for a missing
// "-include").
bool evalLinePartsOpInclude(CxStr1p& out, LineParts& parts, CxStr1p* err, StrVect* includeStack);
// Runs an in-rules command line; false without isEvalDone for an unknown word.
bool evalLinePartsOpCmd(LineParts& parts, EnvMap& store, CxStr1p const& evalName, CxStr1p* err);

bool evalExportVarList(CxStr1p const& text, EnvMap& store);
bool evalExportStyleDefault(CxStr1p const& text, EnvMap& store, CxStr1p* err);
bool evalExportStyleMake(CxStr1p const& text, EnvMap& store, CxStr1p* err);
bool evalExportStyleBash(CxStr1p const& text, EnvMap& store, CxStr1p* err);
