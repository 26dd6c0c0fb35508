#include "exec/selfexe.h"

#include "app/conf.h"
#include "base/fs.h"
#include "base/textedit.h"
#include "base/tokens.h"

namespace {

// Long options of "make" written with '=' (or the one that takes a blank)
// and the short forms they become before the word-by-word pass.
struct LongShort {
    char const* from;
    char const* to;
};
LongShort const kLongForms[] = {
    {" --directory=", " -C "}, {" --file=", " -f "},       {" --makefile=", " -f "},
    {" --makefile ", " -f "},  {" --jobs=", " -j "},       {" --load-average=", " -l "},
    {" --what-if=", " -W "},   {" --new-file=", " -W "},   {" --assume-new=", " -W "},
    {" --old-file=", " -o "},  {" --assume-old=", " -o "},
};

bool replaceEach(CxStr1p& text, char const* from, char const* to) {
    CxStr1p f(from), t(to);
    long long idx = -1, pos = 0;
    bool ok = true;
    while (strFindIdx(idx, text, f, pos) && idx >= 0) {
        ok = text.delSpan(idx, f.length()) && text.insAt(idx, t) && ok;
        // Every form ends in a blank that may start the next occurrence.
        pos = idx + t.length() - 1;
        if (pos <= idx) pos = idx + 1;
    }
    return ok;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allDigits(CxStr1p const& w) {
    if (w.isEmpty()) return false;
    for (long long i = 0; i < w.length(); ++i)
        if (!isDigit(w.getAt(i))) return false;
    return true;
}

// A word that ends the invocation itself: what follows belongs to the shell
// (a pipe, a list, a redirection) and is kept as written.
bool isShellWord(CxStr1p const& raw) {
    if (strIsQuoted(raw, "\"'")) return false;
    for (char const* s = "|&;<>()"; *s; ++s)
        if (strHas(raw, *s)) return true;
    return false;
}

// Options of "make" that take the next word as their value and mean nothing here.
char const* const kDropWithValue =
    "--eval|-I|--include-dir|--jobserver-fds|-l|--load-average|"
    "-W|--what-if|--new-file|--assume-new|-o|--old-file|--assume-old";
// Options of "make" without a separate value; the word after them is kept.
char const* const kDropAlone = "--debug|-n|--dry-run|-O|--output-sync";

bool addWord(CxStr1p& out, CxStr1p const& w) {
    return strSepAdd(out, w, ' ');
}

bool translateMakeArgs(CxStr1p& out, CxStr1p const& args) {
    out.clear();
    // The invocation's own words run up to the first shell word.
    long long pos = 0, start = 0, headEnd = args.length();
    CxStr1p raw;
    for (;;) {
        start = pos;
        while (start < args.length() && strHas(CxStr1p(" \t\r\n"), args.getAt(start)))
            ++start;
        if (!strTokenArg(raw, pos, args, " \t\r\n")) break;
        if (isShellWord(raw)) {
            headEnd = start;
            break;
        }
    }
    CxStr1p head, tail;
    bool ok = head.setCstr(args.c_str(), headEnd);
    if (headEnd < args.length()) ok = tail.setCstr(args.c_str() + headEnd) && ok;

    CxStr1p text(" ");
    text += head;
    text += ' ';
    for (LongShort const& ls : kLongForms)
        ok = replaceEach(text, ls.from, ls.to) && ok;

    StrVect words;
    pos = 0;
    while (strTokenArg(raw, pos, text, " \t\r\n"))
        ok = words.addVal(raw) && ok;
    // A quote left open stays for the shell to judge.
    if (strTrimRSet(raw) && !raw.isEmpty()) ok = words.addVal(raw) && ok;

    long long n = words.size();
    for (long long i = 0; i < n; ++i) {
        CxStr1p const& w = words[i];
        bool hasNext = i + 1 < n;
        if (strIsEqAlt(w, "-C|--directory|-f|--file")) {
            ok = addWord(out, w) && ok;
            if (hasNext) ok = addWord(out, words[++i]) && ok;
        } else if (strIsEqAlt(w, "-j|--jobs")) {
            // "-j" alone means parallel jobs; a word that is no count stays a word.
            if (hasNext && strIsEqAlt(words[i + 1], "0|1")) {
                ok = addWord(out, "--jn") && ok;
                ++i;
            } else if (hasNext && isDigit(words[i + 1].getAt(0))) {
                ok = addWord(out, "-j") && addWord(out, words[++i]) && ok;
            } else {
                ok = addWord(out, "--jd") && ok;
            }
        } else if (strHasStart(w, "-j") && allDigits(CxStr1p(w.c_str() + 2))) {
            // The count written onto the option, as in "-j8".
            CxStr1p count(w.c_str() + 2);
            if (strIsEqAlt(count, "0|1"))
                ok = addWord(out, "--jn") && ok;
            else
                ok = addWord(out, "-j") && addWord(out, count) && ok;
        } else if ((strHasStart(w, "-C") || strHasStart(w, "-f")) && w.length() > 2) {
            // The value written onto the option, as in "-Csub".
            CxStr1p opt, value(w.c_str() + 2);
            ok = opt.setCstr(w.c_str(), 2) && addWord(out, opt) && addWord(out, value) && ok;
        } else if (strIsEqAlt(w, kDropWithValue)) {
            if (hasNext) ++i;
        } else if (strIsEqAlt(w, kDropAlone)) {
        } else if (strHasStart(w, '-')) {
        } else {
            ok = addWord(out, w) && ok;
        }
    }
    if (!tail.isEmpty()) ok = addWord(out, tail) && ok;
    return ok;
}

} // namespace

bool adaptCmd2SelfExe(CxStr1p& cmdLine, CxStr1p& name, CxStr1p& args) {
    RunInfo const* v = RunInfo::_p;
    CxStr1p exe = v && !v->exeName.isEmpty() ? v->exeName : fsExeName();
    if (!exe.isEmpty()) {
        // The executable's name is compared without letter case.
        if (strIsEqIcase(name, exe)) return false;
        CxStr1p padded(" "), lowLine(strToLower(cmdLine));
        padded += strToLower(exe);
        padded += ' ';
        if (strHas(lowLine, padded)) return false;
    }
    if (strIsEqAlt(name, "make")) {
        CxStr1p translated;
        if (!translateMakeArgs(translated, args)) return false;
        args.setMove(translated);
    } else if (!strIsEqAlt(name, "vorn|xvorn")) {
        return false;
    }
    // "VORN" names the command that starts this program; it defaults to the name.
    CxStr1p self = v && !v->selfCmd.isEmpty() ? v->selfCmd : exe;
    if (self.isEmpty()) self = "vorn";
    cmdLine = cmdArgsJoin(self, args);
    return true;
}
