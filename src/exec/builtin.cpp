#include "exec/builtin.h"

#include <cctype>
#include <cmath>
#include <atomic>
#include <cstdio>

#include "exec/signals.h"
#include "app/log.h"
#include "app/conf.h"
#include "base/containers.h"
#include "base/fs.h"
#include "exec/builtin_sys.h"
#include "base/path.h"
#include "base/textedit.h"
#include "base/timenum.h"
#include "base/tokens.h"

// Echo and cat take stand-alone ">" and ">>" as their own redirections; every
// other '>' still needs the interpreter.
// sh's keywords and built-in commands; echo, printf, test, pwd and kill are
// also programs, but the built-in ones read their words differently.
char const* const kShOwn =
    "!|{|}|[[|]]|if|then|else|elif|fi|case|esac|for|while|until|do|done|in|function|select|"
    "time|cd|.|source|exec|exit|export|set|unset|eval|read|alias|unalias|trap|wait|shift|"
    "return|break|continue|umask|ulimit|type|command|hash|readonly|local|getopts|jobs|fg|bg|"
    "times|:|echo|printf|test|[|pwd|kill|true|false|let|declare|typeset|builtin|enable";
// cmd.exe's own commands.
char const* const kCmdOwn =
    "assoc|break|call|cd|chdir|cls|color|copy|date|del|dir|echo|endlocal|erase|exit|for|ftype|"
    "goto|if|md|mkdir|mklink|move|path|pause|popd|prompt|pushd|rd|rem|ren|rename|rmdir|set|"
    "setlocal|shift|start|time|title|type|ver|verify|vol";

ShellWords const kShellWordsPosix = {"\"'", '\\', ";&|<>", "|$%&*?[](){}`<>;", "\\\r\n", "#~",
                                     "",    true, kShOwn};
// cmd.exe: '^' escapes, '%' and '!' expand even inside quotes; its echo prints
// ';', ',' and '=' but its mkdir and redirections split names there.
ShellWords const kShellWordsCmd = {"\"",  '^',   "&|<>", "|$%&*?[](){}`<>", "^!%\r\n", "",
                                   ";,=", false, kCmdOwn};

namespace {

char const* const kArgSeps = " \t\r\n";

// A plain file (or none yet) is written under a fresh name beside it and then
// renamed over it: an interrupt or a failed write never leaves it half-written.
// A link, a device or a directory is written through, as the interpreter would.
template <typename Write> bool replaceFile(CxStr1p const& target, Write write) {
    FsStatBuf st;
    if (fsbStat(st, target) && st.type != 'F') return write(target);
    static std::atomic<long long> serial{0};
    CxStr1p tmp(target);
    tmp += ".vorn-tmp-";
    tmp += strFromInt(getPid());
    tmp += '-';
    tmp += strFromInt(++serial);
    bool wrote = write(tmp);
    if (wrote && fsRename(tmp, target)) return true;
    bool made = fsbExist(tmp);
    if (made) fsRm(tmp);
    // A directory that takes no new names may still let the file be written.
    return !made && !wrote && write(target);
}
char const* const kQuotes = "\"'";

bool hasLetter(char const* set, char c) {
    for (; *set; ++set)
        if (*set == c) return true;
    return false;
}

bool hasAnyOf(CxStr1p const& text, char const* set) {
    for (char const* s = set; *s; ++s)
        if (strHas(text, *s)) return true;
    return false;
}

bool isRedir(CxStr1p const& raw) {
    return raw == ">" || raw == ">>";
}

enum class Tok { End, Word, Decline };

// Next raw token (quotes kept). A quote left open needs the shell.
Tok nextRaw(CxStr1p& raw, long long& pos, CxStr1p const& args) {
    if (strTokenArg(raw, pos, args, kArgSeps)) return Tok::Word;
    return raw.isEmpty() ? Tok::End : Tok::Decline;
}

bool plainWord(CxStr1p& out, CxStr1p const& raw, bool name = true) {
    return builtinWord(out, raw, shellWords(), name);
}

// The program sees a quoted "-x" without its quotes: an option, not a name.
bool plainOperand(CxStr1p& out, CxStr1p const& raw, bool name = true) {
    return plainWord(out, raw, name) && !strHasStart(out, '-');
}

char const* cwdText(CxStr1p& keep) {
    keep = fsCwd();
    return keep.c_str();
}

// Options and operands of one command line, read before anything is done.
struct Parsed {
    StrVect operands;
    int optCount[128] = {};
    CxStr1p optValue; // of the one valued option given
    bool hasValue = false;
    CxStr1p outFile;
    bool redir = false, append = false;
};

struct Syntax {
    char const* opts = "";   // single-letter options accepted
    char const* valued = ""; // of those, the ones taking the next token
    char const* once = "";   // of those, the ones allowed once (together)
    bool redir = false;      // ">" / ">>" and an output file (cat)
};

// False: the command goes to the shell.
bool parseArgs(Parsed& p, CxStr1p const& args, Syntax const& syn) {
    long long pos = 0;
    bool dashes = false;
    CxStr1p raw, word;
    for (;;) {
        Tok t = nextRaw(raw, pos, args);
        if (t == Tok::End) return true;
        if (t == Tok::Decline) return false;
        if (syn.redir && isRedir(raw)) {
            if (p.redir) return false;
            p.redir = true;
            p.append = raw == ">>";
            if (nextRaw(raw, pos, args) != Tok::Word) return false;
            if (!plainOperand(p.outFile, raw)) return false;
            continue;
        }
        if (p.redir) return false; // nothing may follow the output file
        if (!dashes && raw == "--") {
            dashes = true;
            continue;
        }
        if (!dashes && strHasStart(raw, '-')) {
            char c = raw.getAt(1);
            if (raw.length() != 2 || !hasLetter(syn.opts, c)) return false;
            ++p.optCount[(unsigned char)c];
            if (hasLetter(syn.once, c)) {
                int n = 0;
                for (char const* o = syn.once; *o; ++o)
                    n += p.optCount[(unsigned char)*o];
                if (n > 1) return false;
            }
            if (hasLetter(syn.valued, c)) {
                if (p.hasValue) return false;
                if (nextRaw(raw, pos, args) != Tok::Word) return false;
                if (!plainOperand(p.optValue, raw)) return false;
                p.hasValue = true;
            }
            continue;
        }
        // After "--" a name may start with '-', but specials still need the shell.
        if (!(dashes ? plainWord(word, raw) : plainOperand(word, raw))) return false;
        if (!p.operands.addVal(word)) return false;
    }
}

bool has(Parsed const& p, char c) {
    return p.optCount[(unsigned char)c] > 0;
}

// Console output follows the log's silencing; quiet runs print nothing.
bool consoleOn() {
    return logGetPassLevel() <= 0;
}

bool doEcho(bool& ok, CxStr1p const& args) {
    long long pos = 0;
    CxStr1p raw, word, text, outFile;
    bool redir = false, append = false, first = true;
    for (;;) {
        Tok t = nextRaw(raw, pos, args);
        if (t == Tok::End) break;
        if (t == Tok::Decline) return false;
        if (isRedir(raw)) {
            if (redir) return false;
            redir = true;
            append = raw == ">>";
            if (nextRaw(raw, pos, args) != Tok::Word) return false;
            if (!plainOperand(outFile, raw)) return false;
            continue;
        }
        if (!plainOperand(word, raw, false)) return false;
        if (!first) text += ' ';
        text += word;
        first = false;
    }
    if (!redir) {
        if (consoleOn()) echos(text.c_str());
        ok = true;
        return true;
    }
    // The file is written whatever the log level: only console output is silenced.
    text += '\n';
    ok = append ? strFileSaveFd(outFile, text, "a")
                : replaceFile(outFile, [&](CxStr1p const& to) { return strFileSaveFd(to, text); });
    if (!ok) {
        CxStr1p cwd;
        logPrint(2, "Cannot write into '%s' | cwd: %s", outFile.c_str(), cwdText(cwd));
    }
    return true;
}

bool doCat(bool& ok, CxStr1p const& args) {
    Parsed p;
    if (!parseArgs(p, args, Syntax{"", "", "", true})) return false;
    if (p.operands.isEmpty()) return false;
    CxStr1p inputs, shown;
    for (long long i = 0; i < p.operands.size(); ++i) {
        CxStr1p const& in = p.operands[i];
        if (strHas(in, '|')) return false; // the input list is '|'-separated
        strJoinALT(inputs, in);
        strJoinSPC(shown, in);
    }
    CxStr1p cwd;
    if (!p.redir) {
        // No output file: the inputs go to standard output.
        ok = true;
        for (long long i = 0; i < p.operands.size(); ++i) {
            CxStr1p text;
            if (!strFileLoadFd(p.operands[i], text)) {
                logPrint(2, "Cannot cat '%s' into '%s' | cwd: %s", p.operands[i].c_str(), "stdout",
                         cwdText(cwd));
                ok = false;
            } else if (consoleOn()) {
                std::fwrite(text.c_str(), 1, (size_t)text.length(), stdout);
                std::fflush(stdout);
            }
        }
        return true;
    }
    ok = p.append
             ? fileCat(inputs, p.outFile, "a")
             : replaceFile(p.outFile, [&](CxStr1p const& to) { return fileCat(inputs, to, ""); });
    if (!ok)
        logPrint(2, "Cannot cat '%s' into '%s' | cwd: %s", shown.c_str(), p.outFile.c_str(),
                 cwdText(cwd));
    return true;
}

bool doCp(bool& ok, CxStr1p const& args, bool rec) {
    Parsed p;
    Syntax syn = rec ? Syntax{"td", "td", "td", false} : Syntax{"at", "t", "t", false};
    if (!parseArgs(p, args, syn)) return false;
    StrVect& ops = p.operands;
    // Without -t the last operand is the target.
    long long nSrc = p.hasValue ? ops.size() : ops.size() - 1;
    if (nSrc < 1) return false;
    CxStr1p target = p.hasValue ? p.optValue : ops[ops.size() - 1];
    bool noDirs = rec || has(p, 'a');
    if (noDirs)
        for (long long i = 0; i < ops.size(); ++i)
            if (fsaIsDir(ops[i])) return false;
    bool targetIsDir = fsaIsDir(target);
    if (nSrc > 1 && !targetIsDir) return false;
    bool touch = rec || !has(p, 'a');
    CxStr1p dst(target), cwd;
    // A -t target is a directory even when missing: never a file of that name.
    if (targetIsDir || p.hasValue) strAddEndPsep(dst);
    ok = true;
    for (long long i = 0; i < nSrc; ++i) {
        CxStr1p const& src = ops[i];
        CxStr1p to = dst;
        if (strHasEndPsep(to)) to += pathFilePart(src);
        auto copy = [&](CxStr1p const& name) { return fsaFileCopyFd(src, name); };
        // A copy onto itself stays the copier's own case.
        bool copied = fsIsSameFile(src, to) ? copy(dst) : replaceFile(to, copy);
        if (copied) {
            // Copies keep the source's time; the target must look new to the build.
            if (touch) fsaTouch(target);
        } else {
            // No touch here: an empty fresh target would pass for a good copy.
            logPrint(2, "Cannot copy '%s' to '%s' | cwd: %s", ops[i].c_str(), dst.c_str(),
                     cwdText(cwd));
            ok = false;
        }
    }
    return true;
}

bool doMkDir(bool& ok, CxStr1p const& args) {
    Parsed p;
    if (!parseArgs(p, args, Syntax{"p", "", "p", false})) return false;
    if (p.operands.isEmpty()) return false;
    ok = true;
    CxStr1p cwd;
    for (long long i = 0; i < p.operands.size(); ++i) {
        CxStr1p const& d = p.operands[i];
        if (has(p, 'p') ? fsMkDirRec(d) : fsMkDir(d)) continue;
        logPrint(2, "Cannot create directory '%s' | cwd: %s", d.c_str(), cwdText(cwd));
        ok = false;
    }
    return true;
}

bool doRm(bool& ok, CxStr1p const& args, bool rec) {
    Parsed p;
    if (!parseArgs(p, args, rec ? Syntax{"f", "", "", false} : Syntax{"fr", "", "", false}))
        return false;
    rec = rec || has(p, 'r');
    ok = true;
    CxStr1p cwd;
    for (long long i = 0; i < p.operands.size(); ++i) {
        CxStr1p const& f = p.operands[i];
        if (rec ? fsRmRec(f) : fsRm(f)) continue;
        logPrint(2, "Cannot remove '%s' | cwd: %s", f.c_str(), cwdText(cwd));
        ok = false;
    }
    return true;
}

bool doRmDir(bool& ok, CxStr1p const& args) {
    Parsed p;
    if (!parseArgs(p, args, Syntax{"p", "", "p", false})) return false;
    if (p.operands.isEmpty()) return false;
    ok = true;
    CxStr1p cwd;
    for (long long i = 0; i < p.operands.size(); ++i) {
        CxStr1p const& d = p.operands[i];
        if (!fsaIsDir(d)) {
            logPrint(2, "Not a directory '%s' | cwd: %s", d.c_str(), cwdText(cwd));
            ok = false;
        } else if (!(has(p, 'p') ? fsRmRec(d) : fsRm(d))) {
            logPrint(2, "Cannot remove directory '%s' | cwd: %s", d.c_str(), cwdText(cwd));
            ok = false;
        }
    }
    return true;
}

bool doTouch(bool& ok, CxStr1p const& args, bool rec) {
    Parsed p;
    if (!parseArgs(p, args, Syntax{"f", "", "", false})) return false;
    ok = true;
    CxStr1p cwd;
    for (long long i = 0; i < p.operands.size(); ++i) {
        CxStr1p const& f = p.operands[i];
        if (rec ? fsaTouchRec(f) : fsaTouch(f)) continue;
        logPrint(2, "Cannot touch '%s' | cwd: %s", f.c_str(), cwdText(cwd));
        ok = false;
    }
    return true;
}

bool doSleep(bool& ok, CxStr1p const& args) {
    Parsed p;
    if (!parseArgs(p, args, Syntax{})) return false;
    if (p.operands.isEmpty()) return false;
    double total = 0;
    for (long long i = 0; i < p.operands.size(); ++i) {
        double sec = 0;
        if (!sleepDurationSec(sec, p.operands[i])) return false;
        total += sec;
    }
    ok = sleepInterruptible(total);
    return true;
}

} // namespace

bool sleepDurationSec(double& sec, CxStr1p const& op) {
    char unit = op.last();
    double mul = 1;
    long long n = op.length();
    if (unit == 's' || unit == 'm' || unit == 'h') {
        mul = unit == 'm' ? 60 : unit == 'h' ? 3600 : 1;
        --n;
    } else if (unit < '0' || unit > '9') {
        return false;
    }
    int digits = 0, dots = 0;
    for (long long i = 0; i < n; ++i) {
        char c = op.getAt(i);
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == '.' && ++dots == 1)
            continue;
        else
            return false;
    }
    if (digits < 1) return false;
    CxStr1p num;
    if (!num.setCstr(op.c_str(), n) || !dblFromStrSet(sec, num)) return false;
    sec *= mul;
    return std::isfinite(sec);
}

bool sleepInterruptible(double sec) {
    // In slices, so an interrupt ends a long sleep of a worker thread too.
    long long end = timeBootNs() + timeNsFromDbl(sec);
    for (;;) {
        long long left = end - timeBootNs();
        if (left <= 0) return true;
        if (appInterrupted()) return false;
        sleepNs(left < 20000000 ? left : 20000000);
    }
}

bool builtinWord(CxStr1p& out, CxStr1p const& raw, ShellWords const& sh, bool name) {
    bool quoted = strIsQuoted(raw, kQuotes);
    if (hasAnyOf(raw, sh.always)) return false;
    if (!quoted && (hasAnyOf(raw, sh.specials) || (name && hasAnyOf(raw, sh.seps)))) return false;
    if (!raw.isEmpty() && hasLetter(sh.starts, raw.getAt(0))) return false;
    out = strDelQuote(raw, kQuotes);
    if (!sh.sh) return true;
    // Only one enclosing pair reads the same there.
    char q = quoted ? raw.getAt(0) : 0;
    return !hasAnyOf(out, q == '\'' ? "'" : q == '"' ? "\"$`" : "\"'");
}

bool shellArgsOnlyWords(CxStr1p const& args, ShellWords const& sh) {
    char quote = 0;
    char const* d = args.c_str();
    for (long long i = 0; i < args.length(); ++i) {
        char c = d[i];
        if (c == '\r' || c == '\n') return false;
        // An escape could hide a quote or an operator; a substitution runs a
        // command. Both act outside quotes and, for sh, inside double ones.
        if (!quote || (sh.sh && quote == '"')) {
            if (c == sh.escape) return false;
            if (sh.sh && (c == '`' || (c == '$' && d[i + 1] == '('))) return false;
        }
        if (quote) {
            if (c == quote) quote = 0;
        } else if (hasLetter(sh.quotes, c)) {
            quote = c;
        } else if (hasLetter(sh.ops, c)) {
            return false;
        }
    }
    return true;
}

bool shellLineDirect(CxStr1p const& line, ShellWords const& sh) {
    char const* d = line.c_str();
    long long n = line.length(), first = -1, firstEnd = -1;
    for (long long i = 0; i < n; ++i) {
        char c = d[i];
        if (c == ' ' || c == '\t') continue;
        // A word starts here.
        if (hasLetter(sh.starts, c)) return false;
        if (first < 0) first = i;
        for (; i < n && d[i] != ' ' && d[i] != '\t'; ++i) {
            c = d[i];
            if (c == sh.escape || c == '\n' || c == '\r' || hasLetter(sh.quotes, c) ||
                hasLetter(sh.ops, c) || hasLetter(sh.specials, c) || hasLetter(sh.always, c))
                return false;
            // cmd.exe ends a command's name at these; a program takes them as written.
            if (firstEnd < 0 && hasLetter(sh.seps, c)) return false;
            // "X=1 prog": an assignment for the interpreter.
            if (c == '=' && firstEnd < 0) return false;
        }
        if (firstEnd < 0) firstEnd = i;
    }
    if (first < 0) return false;
    if (sh.sh) return !strIsEqAlt(CxStr1p(d + first, firstEnd - first), sh.own);
    // cmd.exe reads its commands in any case and up to a '.', '/' or '\'
    // ("ECHO.", "dir/w"): the leading letters decide.
    CxStr1p name;
    for (long long i = first; i < firstEnd && isalpha((unsigned char)d[i]); ++i)
        name += (char)tolower((unsigned char)d[i]);
    return !strIsEqAlt(name, sh.own);
}

bool redirCmdExtern(bool& ok, CxStr1p const& name, CxStr1p const& args) {
    ok = false;
    if (strIsEqAlt(name, "echo")) return doEcho(ok, args);
    if (strIsEqAlt(name, "cat")) {
        Conf const* c = Conf::_p;
        return c && c->dbgCat && doCat(ok, args);
    }
    if (strIsEqAlt(name, "cp|cprec")) return doCp(ok, args, name == "cprec");
    if (strIsEqAlt(name, "mkdir")) return doMkDir(ok, args);
    if (strIsEqAlt(name, "rm|rmrec")) return doRm(ok, args, name == "rmrec");
    if (strIsEqAlt(name, "rmdir")) return doRmDir(ok, args);
    if (strIsEqAlt(name, "touch|touchrec")) return doTouch(ok, args, name == "touchrec");
    if (strIsEqAlt(name, "sleep")) return doSleep(ok, args);
    return false;
}

ShellWords const& shellWords() {
    return hostShellWords();
}
