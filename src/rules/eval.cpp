#include "rules/eval.h"

#include <cstring>

#include "app/log.h"
#include "base/fs.h"
#include "base/path.h"
#include "base/textedit.h"
#include "base/timenum.h"
#include "base/tokens.h"
#include "rules/expand.h"

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

// Deeper include chains end the reading: a loop the path texts did not
// reveal, or a chain too long to be meant.
long long const kIncludeDepthMax = 100;
// Set when the cap was met, so that the levels above it add no traceback:
// one error says what happened.
bool g_includeCapMet = false;

EvalRuleFn g_evalRule = nullptr;
EvalRecipeFn g_evalRecipe = nullptr;
EvalDefaultGoalFn g_evalDefaultGoal = nullptr;
bool g_evalReady = false;
// Commands are run by a layer above this one; the driver installs it.
EvalRunFn g_evalRun = nullptr;

// Messages holding whole lines go through err2strs: a long line would be cut
// by the formatted form.
void errMsg(CxStr1p* err, CxStr1p const& a, CxStr1p const& b, CxStr1p const& c = CxStr1p(),
            CxStr1p const& d = CxStr1p(), CxStr1p const& e = CxStr1p()) {
    if (!err) return;
    CxStr1p msg(a);
    msg.addObj(b);
    msg.addObj(c);
    msg.addObj(d);
    msg.addObj(e);
    err2strs(err, msg);
}

void errLineFailed(CxStr1p* err, CxStr1p const& fileName, CxStr1p const& evalName,
                   CxStr1p const& line) {
    errMsg(err, fileName, ": Eval(", evalName, ") failed >", line + "<");
}

bool stackHasExact(StrVect const& stack, CxStr1p const& name) {
    for (CxStr1p const& s : stack)
        if (s == name) return true;
    return false;
}

// The loaded text ends in a line end so that its last line stands alone.
bool loadIncludeText(CxStr1p& out, CxStr1p const& path) {
    if (!strFileLoadFd(path, out, "", 0)) return false;
    char last = out.length() > 0 ? out.data[out.length() - 1] : '\n';
    return last == '\n' || last == '\r' || out.addVal('\n');
}

// A file using what only GNU make reads is most likely written for it: one
// hint per file says so, and reading goes on unchanged.
void gnuHint(bool& given, CxStr1p const& fileName, long long lineNr, CxStr1p const& what) {
    given = true;
    logPrint(1, "%s:%lli: GNU make syntax (%s); read this file with --gm", fileName.c_str(), lineNr,
             what.c_str());
}

bool exportByName(CxStr1p const& name, EnvMap& store) {
    CxStr1p v;
    return store.varGet(name, v) && store.varSetExport(name, v);
}

bool exportWrongSyntax(CxStr1p const& text, CxStr1p* err) {
    errMsg(err, "Wrong syntax '", text, "'");
    return false;
}

// name=value for the default and make styles. opChars: the characters that
// combine with "=" into an operator.
bool exportAssignStyle(CxStr1p const& text, EnvMap& store, CxStr1p* err, bool anyValue,
                       char const* opChars) {
    if (evalExportVarList(text, store)) return true;
    long long eq = -1;
    if (!text.findIndex(eq, '=')) {
        store.varNameExport(strTrimLR(text));
        return true;
    }
    if (eq < 1) return exportWrongSyntax(text, err);
    CxStr1p value = strTrimLR(CxStr1p(text.c_str() + eq + 1));
    if (strIsQuoted(value, "'\"")) {
        strDelQuoteSet(value, "'\"");
    } else if (!anyValue && !strIsNumber(value)) {
        return exportWrongSyntax(text, err);
    }
    long long nameEnd = eq;
    CxStr1p op("=");
    char c = text.getAt(eq - 1);
    if (c && strchr(opChars, c)) {
        --nameEnd;
        op = CxStr1p(c) + "=";
    }
    CxStr1p name = strTrimLR(CxStr1p(text.c_str(), nameEnd));
    if (!strIsIdentifier(name) || !evalVarOpValue(name, op, value, store, err))
        return exportWrongSyntax(text, err);
    store.varNameExport(name);
    return true;
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

void evalSetRunFn(EvalRunFn fn) {
    g_evalRun = fn;
}

bool evalTextMakeInitFns(EvalRuleFn rule, EvalRecipeFn recipe, EvalDefaultGoalFn defaultGoal) {
    g_evalRule = rule;
    g_evalRecipe = recipe;
    g_evalDefaultGoal = defaultGoal;
    g_evalReady = rule && recipe && defaultGoal;
    return g_evalReady;
}

bool evalTextMake(CxStr1p const& text, EnvMap& store, CxStr1p const& evalName,
                  EvalLineHookFn lineHook, CxStr1p* err, char const* parseOptions,
                  CxStr1p const& fileName, StrVect* includeStack, StrVect* evaluatedFiles) {
    if (!g_evalReady) {
        err2strf(err, "Need init to Eval(%s) file '%s'", evalName.c_str(), fileName.c_str());
        return false;
    }
    // A zero byte would end the line scanners early and hide the rest of the
    // file: such a file is no rules text.
    if (text.length() > 0 && text.data && memchr(text.data, 0, (size_t)text.length())) {
        errMsg(err, "Not a text file '", fileName, "'");
        return false;
    }
    // Without a caller's stack the includes still need one to stop loops.
    StrVect ownStack;
    if (!includeStack) includeStack = &ownStack;
    if (includeStack->isEmpty()) g_includeCapMet = false;
    if (!fileName.isEmpty()) {
        if (stackHasExact(*includeStack, fileName) || !includeStack->addVal(fileName)) {
            errMsg(err, "Cannot Eval(", evalName, ") already used file '", fileName, "'");
            return false;
        }
        if (evaluatedFiles) evaluatedFiles->addVal(fileName);
    }
    if (text.length() < 1) return true;
    if (!parseOptions) parseOptions = "";

    CxStr1p line, target, incText, gnuFunc, gnuAuto, gnuWhat;
    LineParts parts;
    long long pos = 0, lineNr = 0;
    bool quoteOpen = false;
    // A text that is no file has no place to name in a hint.
    bool gnuHinted = fileName.isEmpty();
    // lineFirst: where the logical line starts, also when it was continued.
    for (long long lineFirst = 1; strTokenTextEval(line, pos, lineNr, quoteOpen, text, "j");
         lineFirst = lineNr + 1) {
        if (strLineIsEmptyOrComment(line)) {
            target.clear();
            continue;
        }
        // Found before expansion: a value inserted is not what the file says.
        bool gnuRefs = !gnuHinted && lineGnuRefsFind(gnuFunc, gnuAuto, line);
        if (gnuRefs && !gnuFunc.isEmpty())
            gnuHint(gnuHinted, fileName, lineFirst, "function '" + gnuFunc + "'");
        bool lineQuoteOpen = false;
        if (!evalVarsInLine(line, lineQuoteOpen, store, "(", err, lineNr)) return false;

        if (lineParse4MakeVarPoint(parts, line)) {
            target.clear();
            if (parts.name == ".DEFAULT_GOAL") g_evalDefaultGoal(parts.value);
            continue;
        }
        if (lineParse4MakeDepsOrCmd(parts, line, parseOptions)) {
            if (parts.op == ":") {
                if (!gnuHinted && parts.name.hasVal('%'))
                    gnuHint(gnuHinted, fileName, lineFirst, "'%' in the goal '" + parts.name + "'");
                target = parts.name;
                if (!g_evalRule(target, parts.value)) {
                    errMsg(err, "Cannot add rule line '", line, "'");
                    return false;
                }
            } else if (parts.op == "cmd" && !target.isEmpty()) {
                if (gnuRefs && !gnuHinted && !gnuAuto.isEmpty())
                    gnuHint(gnuHinted, fileName, lineFirst, "'" + gnuAuto + "' in a recipe");
                strTrimLRSet(line); // the line is not read again
                g_evalRecipe(target, line);
            }
            continue;
        }

        target.clear();
        bool parsed = lineParse4VarOrCmd(parts, line, "T");
        if (!gnuHinted && linePartsGnuDirective(gnuWhat, parts))
            gnuHint(gnuHinted, fileName, lineFirst, gnuWhat);
        if (!parsed && !(parts.isVarOp && parts.isMultiWord)) {
            errMsg(err, "Parse(", evalName, ") failed >", line, "<");
            return false;
        }
        if (parts.op == "inc") {
            if (!evalLinePartsOpInclude(incText, parts, err, includeStack)) return false;
            long long depth = includeStack->size();
            CxStr1p sub;
            sub.swap(incText);
            bool ok = evalTextMake(sub, store, evalName, lineHook, err, parseOptions, parts.value,
                                   includeStack, evaluatedFiles);
            if (!ok && g_includeCapMet) return false;
            parts.isEvalDone = true;
            parts.isEvalOk = ok;
            // Only a name that the nested call pushed is taken off again.
            if (includeStack->size() > depth && includeStack->lastVal() == parts.value)
                includeStack->delLast();
        }
        if (!parts.isEvalDone && lineHook) lineHook(parts, store, evalName, err);
        if (!parts.isEvalDone) {
            evalLinePartsOpVar(parts, store, err);
            if (!parts.isEvalDone) evalLinePartsOpCmd(parts, store, evalName, err);
        }
        if (parts.name == "__cmd_error__" || (parts.isEvalDone && !parts.isEvalOk)) {
            errLineFailed(err, fileName, evalName, line);
            return false;
        }
        if (err) err->clear();
    }
    return !quoteOpen;
}

bool evalLinePartsOpInclude(CxStr1p& out, LineParts& parts, CxStr1p* err, StrVect* includeStack) {
    if (!parts.incKind) return false;
    out.clear();
    CxStr1p const& path = parts.value;
    bool const optional = parts.incKind == '-';
    bool const isFile = fsaIsFile(path);
    if (!isFile && optional) {
        parts.isEvalDone = true;
        parts.isEvalOk = true;
        return true;
    }
    if (includeStack) {
        if (includeStack->size() > kIncludeDepthMax) {
            parts.isEvalDone = true;
            parts.isEvalOk = false;
            g_includeCapMet = true;
            errMsg(err, "Cannot include '", path, "': includes nested more than ",
                   strFromInt(kIncludeDepthMax),
                   " levels deep (from '" + includeStack->lastVal() + "')");
            return false;
        }
        // Path texts alone miss ./x against ././x or a/../x: ask the file system too.
        bool used = false;
        for (long long i = 0; !used && i < includeStack->size(); ++i) {
            CxStr1p const& s = includeStack->at(i);
            used = s == path || (isFile && fsIsSameFile(s, path));
        }
        if (used) {
            parts.isEvalDone = true;
            parts.isEvalOk = false;
            errMsg(err, "Cannot include already used file '", path, "'");
            return false;
        }
    }
    bool loaded = isFile && loadIncludeText(out, path);
    if (!loaded) out.clear(); // never a half-read text
    parts.isEvalDone = true;
    parts.isEvalOk = optional || loaded;
    if (!parts.isEvalOk) {
        errMsg(err, "Cannot include '", path, "'");
        return false;
    }
    return true;
}

bool evalLinePartsOpCmd(LineParts& parts, EnvMap& store, CxStr1p const& evalName, CxStr1p* err) {
    if (parts.op != "cmd") return false;
    CxStr1p const& word = parts.name;
    CxStr1p const& whole = parts.value;
    CxStr1p args;
    if (strHasStart(whole, word)) args = strTrimLR(CxStr1p(whole.c_str() + word.length()));

    bool ok = true;
    if (word == "echo") {
        echos(args.c_str());
    } else if (word == "export") {
        if (evalName == "bash")
            ok = evalExportStyleBash(args, store, err);
        else if (evalName == "make")
            ok = evalExportStyleMake(args, store, err);
        else
            ok = evalExportStyleDefault(args, store, err);
    } else if (word == "varsDump") {
        envMapVarsDump(store, args, "varsDump");
    } else if (word == "envVarsDump") {
        envVarsDump(args, "envVarsDump");
    } else if (word == "envVarsClearExcept") {
        ok = envVarsClearExcept(args, "");
    } else if (word == "cd" || word == "chdir") {
        ok = fsCd(args);
        if (!ok) errMsg(err, "chdir failed '", whole, "'");
    } else if (word == "run") {
        ok = g_evalRun && g_evalRun(args);
        if (!ok) errMsg(err, "run failed '", whole, "'");
    } else if (word == "runOk") {
        if (g_evalRun) g_evalRun(args);
    } else if (word == "__cmd_error__") {
        ok = false;
        errMsg(err, "Unknown command '", word, "'");
    } else {
        return false;
    }
    parts.isEvalDone = true;
    parts.isEvalOk = ok;
    return ok;
}

bool evalExportVarList(CxStr1p const& text, EnvMap& store) {
    if (text.isEmpty() || text.hasVal('=')) return false;
    CxStr1p name;
    long long pos = 0, count = 0;
    while (strToken(name, pos, text, " \t\r\n")) {
        if (!exportByName(name, store)) return false;
        ++count;
    }
    return count > 0;
}

bool evalExportStyleDefault(CxStr1p const& text, EnvMap& store, CxStr1p* err) {
    return exportAssignStyle(text, store, err, false, ":/%+-");
}

bool evalExportStyleMake(CxStr1p const& text, EnvMap& store, CxStr1p* err) {
    return exportAssignStyle(text, store, err, true, ":+");
}

bool evalExportStyleBash(CxStr1p const& text, EnvMap& store, CxStr1p* err) {
    if (evalExportVarList(text, store)) return true;
    CxStr1p arg, name, value;
    long long pos = 0, eq = -1;
    for (;;) {
        if (!strTokenArg(arg, pos, text, " \t\r\n", "")) {
            // An argument left with its quote open is no argument.
            if (!arg.isEmpty()) return exportWrongSyntax(text, err);
            break;
        }
        if (arg.findIndex(eq, '=') && eq > 0) {
            CxStr1p op("=");
            long long nameEnd = eq;
            if (arg.getAt(eq - 1) == '+') {
                --nameEnd;
                op = "+=";
            }
            name.setCstr(arg.c_str(), nameEnd);
            value = strDelQuote(CxStr1p(arg.c_str() + eq + 1), "'\"");
            if (!strIsIdentifier(name) || !evalVarOpValue(name, op, value, store, err))
                return exportWrongSyntax(text, err);
            store.varNameExport(name);
        } else {
            if (!strIsIdentifier(arg)) return exportWrongSyntax(text, err);
            store.varNameExport(arg);
        }
    }
    return true;
}
