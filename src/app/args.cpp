#include "app/args.h"

#include "app/app.h"
#include "app/log.h"
#include "app/vars.h"
#include "base/containers.h"
#include "base/fs.h"
#include "base/path.h"
#include "base/textedit.h"
#include "base/timenum.h"
#include "base/tokens.h"
#include "jobs/threads.h"

namespace {

// Argument files nested deeper than this are refused; a cycle through links
// or differently written names cannot recurse without end.
int const kArgFileDepthMax = 32;

struct ArgExpand {
    explicit ArgExpand(CxStr1p& o) : out(o) {}
    CxStr1p& out;
    bool afterDD = false;
    bool cmdFlag = false;
    StrVect files; // argument files being read, outermost first
};

bool emit(ArgExpand& st, CxStr1p const& arg) {
    return st.out.addObj(arg) && st.out.addVal('\n');
}

bool isCmdStart(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '"' ||
           c == '\'' || c == '.' || c == '/' || c == '\\' || c == '_' || c >= 128;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// An argument cut from a text keeps its quotes; apply it as a shell would by
// removing one enclosing pair of equal quotation marks.
CxStr1p unquoted(CxStr1p const& arg, bool fromText) {
    CxStr1p a(arg);
    if (fromText) strDelQuoteSet(a, "\"'");
    return a;
}

bool splitText(StrVect& args, CxStr1p const& text) {
    long long pos = 0;
    CxStr1p tok;
    while (true) {
        bool ok = strTokenArg(tok, pos, text, " \t\r\n", "");
        if (!ok) {
            // A false result with a token left means an open quote.
            return tok.isEmpty();
        }
        if (!args.addVal(tok)) return false;
    }
}

bool expandArgs(ArgExpand& st, StrVect const& args, bool fromText);

bool expandFile(ArgExpand& st, CxStr1p const& name) {
    CxStr1p full(name);
    if (!pathIsAbsolute(full)) full = pathJoin(fsCwd(), name);
    pathCleanAllSet(full);
    for (long long i = 0; i < st.files.size(); ++i) {
        if (st.files[i] == full) {
            logPrint(2, "Argument file reads itself: %s | cwd: %s", name.c_str(), fsCwd().c_str());
            return false;
        }
    }
    if (st.files.size() >= kArgFileDepthMax) {
        logPrint(2, "Argument files nested too deep: %s | cwd: %s", name.c_str(), fsCwd().c_str());
        return false;
    }
    CxStr1p text;
    if (!strFileLoadFd(name, text, "", 0)) return false;
    StrVect args;
    if (!splitText(args, text)) return false;
    if (!st.files.addVal(full)) return false;
    bool ok = expandArgs(st, args, true);
    st.files.delLast();
    return ok;
}

bool expandArgs(ArgExpand& st, StrVect const& args, bool fromText) {
    bool pendingFile = false;
    for (long long i = 0; i < args.size(); ++i) {
        CxStr1p const& arg = args[i];
        if (arg == "--") {
            st.afterDD = true;
            if (!emit(st, arg)) return false;
            continue;
        }
        if (st.afterDD) {
            if (!emit(st, unquoted(arg, fromText))) return false;
            continue;
        }
        if (pendingFile) {
            pendingFile = false;
            if (!expandFile(st, unquoted(arg, fromText))) return false;
            continue;
        }
        if (arg == "-@") {
            pendingFile = true;
            continue;
        }
        long long n = arg.length();
        char const* s = arg.c_str();
        if (n >= 2 && s[0] == '-' && s[1] != '-') {
            if (isDigit(s[1])) {
                for (long long k = 2; k < n; ++k)
                    if (!isDigit(s[k])) return false;
                if (!emit(st, arg)) return false;
                continue;
            }
            for (long long k = 1; k < n; ++k) {
                char c = s[k];
                if (c == '@') {
                    if (k != n - 1) return false;
                    pendingFile = true;
                } else if (isDigit(c)) {
                    if (!emit(st, CxStr1p(c))) return false;
                } else {
                    CxStr1p one("-");
                    one += c;
                    if (!emit(st, one)) return false;
                }
            }
            continue;
        }
        if (n >= 2 && (s[0] == '"' || s[0] == '\'') && s[n - 1] != s[0]) return false;
        if (st.cmdFlag && n > 0 && isCmdStart((unsigned char)s[0])) st.afterDD = true;
        if (!emit(st, unquoted(arg, fromText))) return false;
    }
    return !pendingFile;
}

bool hasFlag(char const* flags, char f) {
    for (; flags && *flags; ++flags)
        if (*flags == f) return true;
    return false;
}

bool expandStart(CxStr1p& out, StrVect const& args, char const* flags, bool fromText) {
    if (!hasFlag(flags, 'A')) out.clear();
    ArgExpand st(out);
    st.cmdFlag = hasFlag(flags, 'C');
    return expandArgs(st, args, fromText);
}

} // namespace

bool initArgsTextFromMain(CxStr1p& out, int skip, int argc, char const** argv, char const* flags) {
    StrVect args;
    for (int i = skip; i < argc; ++i)
        if (!args.addVal(CxStr1p(argv[i] ? argv[i] : ""))) return false;
    return expandStart(out, args, flags, false);
}

bool initArgsTextFromList(CxStr1p& out, CxStr1p const& text, char const* flags) {
    StrVect args;
    if (!splitText(args, text)) {
        if (!hasFlag(flags, 'A')) out.clear();
        return false;
    }
    return expandStart(out, args, flags, true);
}

bool initArgsTextFromText(CxStr1p& out, CxStr1p const& text, char const* flags) {
    StrVect args;
    long long pos = 0;
    CxStr1p line;
    while (strTokenOneNL(line, pos, text))
        if (!args.addVal(line)) return false;
    return expandStart(out, args, flags, false);
}

long long countArgsText(CxStr1p const& text) {
    long long n = 0;
    for (long long i = 0; i < text.length(); ++i)
        n += text.getAt(i) == '\n';
    return n;
}

namespace {

struct DebugLetter {
    char const* alts;
    bool Conf::*flag;
    bool Conf::*flag2;
};

DebugLetter const kDebugLetters[] = {
    {"opt|-o|o", &Conf::dbgOpt, nullptr},
    {"conf|-c|c", &Conf::dbgConf, nullptr},
    {"vars|-v|v", &Conf::dbgVars, nullptr},
    {"fn|-f|f", &Conf::dbgFn, nullptr},
    {"exec|-x|x", &Conf::dbgExec, nullptr},
    {"Exec|-X|X", &Conf::dbgExecAll, nullptr},
    {"jobs|-j|j", &Conf::dbgJobs, nullptr},
    {"goals|-g|g", &Conf::dbgGoals, nullptr},
    {"rules|-r|r", &Conf::dbgRules, nullptr},
    {"deps|-d|d", &Conf::dbgDeps, nullptr},
    {"track|-t|t", &Conf::dbgTrack, nullptr},
    {"prr|-R|R", &Conf::printRules, &Conf::printOnly},
    {"prd|-D|D", &Conf::printDeps, &Conf::printOnly},
    {"cat", &Conf::dbgCat, nullptr},
};

void addDebugArg(Conf& conf, char const* opt, CxStr1p const& value) {
    strJoinSPC(conf.debugArgs, CxStr1p(opt));
    strJoinSPC(conf.debugArgs, strArgQuoteByCtx(value, "a", '"', nullptr));
}

bool readNumber(long long& out, CxStr1p const& value) {
    return intFromStrSet(out, value, false, false);
}

// Applies the value of a pending option; false stops the whole application.
bool applyValue(Conf& conf, CxStr1p const& opt, CxStr1p const& value, bool& result) {
    if (strIsEqAlt(opt, "-C|--cd|--directory")) {
        argListDelEnd(conf.argsText, opt, value, '"');
        if (!fsCd(value, false)) {
            logPrint(2, "Cannot chdir to: %s", value.c_str());
            return false;
        }
        conf.cdDone = conf.cdGiven = true;
        logPrint(-1, "chdir %s", value.c_str());
    } else if (strIsEqAlt(opt, "-f|--file|--makefile")) {
        conf.rulesFile = value;
        if (!conf.rulesFiles.addVal(value)) result = false;
    } else if (strIsEqAlt(opt, "-I|--include-dir")) {
        if (!conf.includeDirs.addVal(value)) result = false;
        addDebugArg(conf, "-I", value);
    } else if (strIsEqAlt(opt, "-W|--what-if|--new-file|--assume-new")) {
        if (!conf.whatIf.addK(value)) result = false;
    } else if (strIsEqAlt(opt, "-o|--old-file|--assume-old")) {
        if (!conf.oldFiles.addK(value)) result = false;
    } else if (strIsEqAlt(opt, "-l|--load-average|--max-load")) {
        // Accepted for Makefiles' sake: the job count alone limits the load.
    } else if (strIsEqAlt(opt, "-j|--jobs")) {
        long long n = 0;
        if (!readNumber(n, value)) result = false;
        conf.jobs = (int)n;
        conf.jobsArgs = "-j ";
        conf.jobsArgs += value;
    } else if (strIsEqAlt(opt, "--jwb|--jwe|--jweh")) {
        long long n = 0;
        if (!readNumber(n, value)) result = false;
        long long v = (long long)(int)n;
        if (opt == "--jwb")
            conf.waitBeginMs = v;
        else if (opt == "--jwe")
            conf.waitEndMs = v;
        else
            conf.waitHangMs = v;
        conf.jobsArgs = opt + " " + value;
    } else if (opt == "--jxbgf") {
        // The batch file of a worker start; nothing to apply.
    } else if (opt == "--DC") {
        addDebugArg(conf, "--DC", value);
        conf.dcLetters = value;
        if (strIsEqAlt(value, "-?|?")) {
            logPrint(0, "'--DC' args: ? E r c e ?");
            conf.stop = true;
        }
    } else if (strIsEqAlt(opt, "-D|--debug")) {
        addDebugArg(conf, "-D", value);
        for (DebugLetter const& d : kDebugLetters) {
            if (strIsEqAlt(value, d.alts)) {
                conf.*(d.flag) = true;
                if (d.flag2) conf.*(d.flag2) = true;
            }
        }
        if (strIsEqAlt(value, "-?|?")) {
            logPrint(0, "'-D' args: ? o c v f x X j g r d t R D cat ?");
            conf.stop = true;
        }
    }
    return true;
}

// make's flags without a value, in the order make lists their letters in
// MAKEFLAGS. Nested runs take them all (they join the debug options).
struct MakeFlag {
    char letter; // 0: none
    char const* alts;
    bool Conf::*flag;
};
MakeFlag const kMakeFlags[] = {
    {'B', "-B|--always-make", &Conf::alwaysMake},
    {'e', "-e|--environment-overrides", &Conf::envOverrides},
    {'i', "-i|--ignore-errors", &Conf::ignoreErrors},
    {'k', "-k|--keep-going", &Conf::keepGoing},
    {'n', "-n|--dry-run|--just-print|--recon", &Conf::dryRun},
    {'r', "-r|--no-builtin-rules", &Conf::noBuiltinRules},
    {'R', "-R|--no-builtin-variables", &Conf::noBuiltinVars},
    {'s', "-s|--silent", &Conf::silent},
    {0, "--warn-undefined-variables", &Conf::warnUndefined},
};

bool applyFlag(Conf& conf, CxStr1p const& arg) {
    for (MakeFlag const& f : kMakeFlags) {
        if (!strIsEqAlt(arg, f.alts)) continue;
        conf.*(f.flag) = true;
        if (f.flag == &Conf::noBuiltinVars) conf.noBuiltinRules = true;
        strJoinSPC(conf.debugArgs, arg);
        return true;
    }
    if (strIsEqAlt(arg, "-w|--print-directory|--no-print-directory")) {
        conf.printDir = arg == "--no-print-directory" ? -1 : 1;
        strJoinSPC(conf.debugArgs, arg);
        return true;
    }
    if (arg == "-S" || arg == "--no-keep-going" || arg == "--stop") {
        conf.keepGoing = false;
        return true;
    }
    return false;
}

} // namespace

void confMakeFlagLetter(Conf& conf, char letter) {
    for (MakeFlag const& f : kMakeFlags)
        if (f.letter && f.letter == letter) conf.*(f.flag) = true;
}

CxStr1p confMakeFlagLetters(Conf const& conf) {
    CxStr1p out;
    for (MakeFlag const& f : kMakeFlags)
        if (f.letter && conf.*(f.flag)) out += f.letter;
    if (conf.printDir < 0) strJoinSPC(out, "--no-print-directory");
    return out;
}

bool args2Conf(CxStr1p const& list) {
    Conf& conf = *Conf::_p;
    CxStr1p pending;
    bool result = true;
    long long pos = 0;
    CxStr1p arg;
    while (strTokenOneNL(arg, pos, list)) {
        argListAdd(conf.argsText, arg, '"');
        if (pending == "--") {
            strAddNL(conf.goalsText, arg);
            continue;
        }
        if (!pending.isEmpty()) {
            if (!applyValue(conf, pending, arg, result)) return false;
            pending.clear();
            continue;
        }
        char const* const valueOpts =
            "-C|--cd|--directory|-f|--file|--makefile|-j|--jobs|--jwb|--jwe|--jweh|--jxbgf|-D|"
            "--debug|--DC|--|-I|--include-dir|-W|--what-if|--new-file|--assume-new|-o|--old-file|"
            "--assume-old|-l|--load-average|--max-load";
        long long eq = -1;
        if (strIsEqAlt(arg, valueOpts)) {
            pending = arg;
        } else if (arg.getAt(0) == '-' && arg.getAt(1) == '-' && arg.findIndex(eq, '=') &&
                   strIsEqAlt(CxStr1p(arg.c_str(), eq), valueOpts)) {
            // "--file=Makefile": the option and its value in one word.
            if (!applyValue(conf, CxStr1p(arg.c_str(), eq), CxStr1p(arg.c_str() + eq + 1), result))
                return false;
        } else if (applyFlag(conf, arg)) {
            // One of make's flags; nested runs take it too.
        } else if (strIsEqAlt(arg, "--jn|--j0|--no-jobs")) {
            conf.jobs = 1;
            conf.jobsArgs = "--jn";
        } else if (strIsEqAlt(arg, "--jd|--jobs-default")) {
            conf.jobs = 0;
            conf.jobsArgs = "--jd";
        } else if (strIsEqAlt(arg, "--pr|--print-rules")) {
            conf.printRules = conf.printOnly = true;
        } else if (strIsEqAlt(arg, "--prd|--print-deps")) {
            conf.printDeps = conf.printOnly = true;
        } else if (strIsEqAlt(arg, "--sys|--sys-calls")) {
            conf.sysCalls = true;
            strJoinSPC(conf.debugArgs, arg);
        } else if (strIsEqAlt(arg, "--gm|--gnu-make")) {
            // Handed on with the debug options: nested runs and workers read alike.
            conf.gnuMake = true;
            strJoinSPC(conf.debugArgs, arg);
        } else if (strIsEqAlt(arg, "--bg1|--bgc|--bgf|--bgp|--bgt")) {
            conf.bgOption = arg;
        } else if (arg == "--jxshf") {
            // A worker for a Makefile whose SHELL is another interpreter.
            conf.shForeign = true;
        } else if (arg == "--jxbgp") {
            // A pipe worker start is recognised before options are read.
        } else if (strIsEqAlt(arg, "-v|--verbose")) {
            conf.passLevel = -1;
        } else if (strIsEqAlt(arg, "-q|--quiet")) {
            conf.passLevel = 3;
        } else if (strIsEqAlt(arg, "-h|--help")) {
            conf.stop = true;
            echoHelp();
        } else if (strIsEqAlt(arg, "-V|--version")) {
            conf.stop = true;
            echoAbout();
        } else if (arg.getAt(0) == '-') {
            logPrint(2, "Wrong option arg '%s', try --help", arg.c_str());
            result = false;
        } else {
            strAddNL(conf.goalsText, arg);
        }
    }
    if (!pending.isEmpty() && pending != "--") {
        logPrint(2, "Unfinished arg '%s'", pending.c_str());
        result = false;
    }
    return result;
}

void echoHelp() {
    CxStr1p exe = Vars::_pVars ? Vars::_pVars->exeName : CxStr1p("vorn");
    echos("");
    echos("App Info: ", cstrAppName());
    echos("Version : ", cstrAppVers());
    echos("");
    echos("");
    echof("Usage: %s [options] [target]", exe.c_str());
    echos("");
    echos("-C|--cd DIR\n  Change working directory to DIR now.");
    echos("-f|--file file\n  Use this rules-file.");
    echos("");
    echos("-j|--jobs number\n  Set the maximum concurrent jobs for this instance.");
    echos("--jn|--j0|--no-jobs\n  No parallel jobs.");
    echos("--jd|--jobs-default\n  [default] Jobs number is chosen depending on the CPU cores and "
          "OS.\n  This option resets to the default after the other jobs options.");
    echos("");
    echos("--sys|--sys-calls\n  Use standard system calls for all commands.\n  Build may be "
          "slower.");
    echos("");
    echos("--gm|--gnu-make\n  Read the rules file as GNU make 4.3 does (Makefiles as they are).");
    echos("-r|--no-builtin-rules\n  With --gm: no built-in implicit rules.");
    echos("-R|--no-builtin-variables\n  With --gm: no built-in variables either (implies -r).");
    echos("-k|--keep-going\n  After a failure, go on with the goals that do not need the failed "
          "one.");
    echos("-n|--dry-run|--just-print\n  Print the recipe lines instead of running them; lines "
          "with\n  $(MAKE) or a '+' mark (--gm) still run.");
    echos("-B|--always-make\n  Every goal with a recipe is out of date.");
    echos("-s|--silent\n  Do not show recipe lines (--gm shows them by default).");
    echos("-i|--ignore-errors\n  A failing recipe line does not fail its goal.");
    echos("-W|--what-if FILE\n  Take FILE as changed just now.");
    echos("-o|--old-file FILE\n  Never remake FILE, and nothing because of it.");
    echos("-e|-I DIR|-w|--no-print-directory|-l N|--warn-undefined-variables\n  With --gm, as "
          "GNU make has them (-l is accepted and has no effect).");
    echos("  Differ from GNU make: -q and -v are this tool's quiet and verbose, -D its\n  debug "
          "output, -h its help; -p, -t, -d and make's -q have no equivalent.\n  With -k or -n "
          "recipes run one at a time. Nested runs of a Makefile take\n  -k -n -s -i -B -r -R -e "
          "-I and command-line variables, not -j:\n  a nested run is sequential unless its own "
          "command line gives -j.");
    echos("");
    echos("--bg1|--bgc|--bgf|--bgp|--bgt\n  Background jobs variant.\n  --bgf: Safe variant, "
          "build rules are isolated.\n  --bgp: (b) Safe variant, isolated build rules. Faster "
          "by context.\n  --bgt: Fastest variant overall, common context for rules.\n         "
          "Ok when rules do not change working-directory and/or env-variables.\n  (E) The "
          "rest are reserved for testing in various environments.");
    echos("");
    echos("// Internal and debug flags.");
    echos("-D|--debug|--DC\n  (b) Extra debug info.");
    echos("--pr|--print-rules\n  Print goals and rules with dependencies.");
    echos("--prd|--print-deps\n  Print dependencies only.");
    echos("--jwb|--jwe|--jweh ms\n  (E) Wait.");
    echos("");
    echos("--\n  Non-options from now on.");
    echos("-@ file\n  Read arguments from file.");
    echos("-v|--verbose\n  Verbose messages.");
    echos("-q|--quiet\n  Supress messages.");
    echos("-h|--help\n  Show this help.");
    echos("-V|--version\n  Show version.");
    echos("");
    echos("One-dash options are expanded: '-ab' becomes '-a' '-b'.");
    echos("");
    echos("(b) and (E) are set for possible cases of minor or major deviations.");
    echos("(b) Basic and common use cases passed the tests.\n  However, for some less common "
          "use cases, results may differ depending on:\n    OS, environment, or certain "
          "versions of another tool.");
    echos("(E) Experimental.\n  At least one reliability requirement is not or cannot be met "
          "for now.\n  OR Expected results for some common use cases depend too much on:\n    "
          "OS, environment, or certain versions or reliability of another tool.");
    echos("(b) and (E) can be used daily, but test with your use cases first\n    to see the "
          "results in each context, to see which details matter.");
    echos("");
    echos("");
    echos("Environment variables: ", "VORN_ARGS", " is used as arguments.");
    echos("");
    echos("Real jobs count can be lower than specified,\n  when extra jobs will not improve the "
          "speed.");
    echos("");
}

bool adaptJobsMax(int jobs) {
    Vars& v = *Vars::_pVars;
    if (jobs < 1) {
        jobs = infoCpuCoresCount();
        logTraceFlag(v.conf.dbgOpt, "CPU cores %i", jobs);
    }
    v.jobsMax = jobs;
    logPrint(-1, "Jobs Max %i", jobs);
    return true;
}
