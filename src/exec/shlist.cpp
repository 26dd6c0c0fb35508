#include "exec/shlist.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/conf.h"
#include "app/log.h"
#include "base/containers.h"
#include "base/fs.h"
#include "base/path.h"
#include "base/timenum.h"
#include "base/textedit.h"
#include "base/tokens.h"
#include "exec/builtin.h"
#include "exec/builtin_sys.h"
#include "exec/run.h"
#include "exec/signals.h"
#include "gnu/gfuncs.h"
#include "rules/envmap.h"

namespace {

// ---- reading a line

// One word as sh reads it. pat keeps a '\' before each character that was
// quoted and means something in a pattern, so a glob sees it as written.
struct Word {
    CxStr1p text; // quotes and escapes removed
    CxStr1p pat;
    bool glob = false;   // an unquoted '*', '?' or '['
    bool quoted = false; // any quoting at all
};

struct Redir {
    int fd = 1;
    char op = '>'; // '>' create, 'a' append, '<' read, '&' copy of descriptor dup
    int dup = -1;
    Word file;
};

struct Cmd {
    Vect1p_Vobj<Word> words;
    Vect1p_Vobj<Redir> redirs;
    char join = ';'; // how it follows the one before: ';', '&' (&&), '|' (||)
};

typedef Vect1p_Vobj<Cmd> CmdList;

// sh's own words: a line using them needs sh itself.
char const* const kShKeywords =
    "!|{|}|[[|]]|if|then|else|elif|fi|case|esac|for|while|until|do|done|in|function|select|time";
char const* const kShOwnNotHere =
    ".|source|exec|export|set|unset|eval|read|alias|unalias|trap|wait|shift|return|break|"
    "continue|umask|ulimit|type|command|hash|readonly|local|getopts|jobs|fg|bg|times|let|"
    "declare|typeset|builtin|enable|pwd|kill";
char const* const kHere = "echo|printf|cat|cp|mv|rm|rmdir|mkdir|touch|ln|test|[|true|false|:|cd|"
                          "exit|sleep";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isGlobChar(char c) {
    return c == '*' || c == '?' || c == '[' || c == ']' || c == '\\';
}

class Reader {
  public:
    explicit Reader(CxStr1p const& line) : p_(line.c_str()), end_(line.c_str() + line.length()) {}

    // False: declined.
    bool read(CmdList& out) {
        Cmd cmd;
        char join = ';';
        for (;;) {
            while (p_ < end_ && isBlank(*p_))
                ++p_;
            if (p_ >= end_ || *p_ == '\n' || *p_ == ';') {
                bool empty = cmd.words.isEmpty() && cmd.redirs.isEmpty();
                char c = p_ < end_ ? *p_++ : 0;
                if (empty) {
                    // A newline may follow "&&"; nothing else may stand alone.
                    if (c == ';' || (join != ';' && c != '\n')) return false;
                    if (!c) return true;
                    continue;
                }
                if (c == ';' && p_ < end_ && *p_ == ';') return false;
                cmd.join = join;
                if (!out.addVal(cmd)) return false;
                cmd = Cmd();
                join = ';';
                if (!c) return true;
                continue;
            }
            char c = *p_;
            if (c == '&' || c == '|') {
                // A pipe or a background job needs sh.
                if (p_ + 1 >= end_ || p_[1] != c) return false;
                if (cmd.words.isEmpty() && cmd.redirs.isEmpty()) return false;
                p_ += 2;
                cmd.join = join;
                if (!out.addVal(cmd)) return false;
                cmd = Cmd();
                join = c;
                continue;
            }
            if (c == '#') {
                while (p_ < end_ && *p_ != '\n')
                    ++p_;
                continue;
            }
            if (c == '(' || c == ')') return false;
            // "2>" and "2>&1": the digits belong to the redirection.
            char const* q = p_;
            while (q < end_ && *q >= '0' && *q <= '9')
                ++q;
            if (q < end_ && (*q == '<' || *q == '>')) {
                if (!readRedir(cmd)) return false;
                continue;
            }
            Word w;
            if (!readWord(w)) return false;
            if (cmd.words.isEmpty() && !checkFirst(w)) return false;
            if (!cmd.words.addVal(w)) return false;
        }
    }

  private:
    char const* p_;
    char const* end_;

    static bool checkFirst(Word const& w) {
        if (!w.quoted && strIsEqAlt(w.text, kShKeywords)) return false;
        // "X=1 prog": an assignment for sh.
        long long eq = -1;
        if (w.text.findIndex(eq, '=') && eq > 0) {
            bool name = true;
            for (long long i = 0; i < eq && name; ++i) {
                char c = w.text.c_str()[i];
                name = c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       (i > 0 && c >= '0' && c <= '9');
            }
            if (name) return false;
        }
        return !w.glob;
    }

    bool readRedir(Cmd& cmd) {
        Redir r;
        int fd = -1;
        while (*p_ >= '0' && *p_ <= '9') {
            fd = (fd < 0 ? 0 : fd * 10) + (*p_ - '0');
            if (fd > 2) return false;
            ++p_;
        }
        char c = *p_++;
        r.fd = fd >= 0 ? fd : (c == '<' ? 0 : 1);
        r.op = c;
        if (p_ < end_ && (*p_ == '<' || *p_ == '|' || (c == '<' && *p_ == '>'))) return false;
        if (c == '>' && p_ < end_ && *p_ == '>') {
            r.op = 'a';
            ++p_;
        }
        if (p_ < end_ && *p_ == '&') {
            // Only ">&1" and ">&2"; "<&", ">&-" and "&>" need sh.
            if (r.op != '>' || p_ + 1 >= end_ || (p_[1] != '1' && p_[1] != '2')) return false;
            if (p_ + 2 < end_ && !isBlank(p_[2]) && !strchr(";&|\n", p_[2])) return false;
            r.op = '&';
            r.dup = p_[1] - '0';
            p_ += 2;
            return cmd.redirs.addVal(r);
        }
        if (r.fd == 0 && r.op != '<') return false;
        if (r.fd != 0 && r.op == '<') return false;
        while (p_ < end_ && isBlank(*p_))
            ++p_;
        if (p_ >= end_ || strchr("\n;&|<>()#", *p_)) return false;
        if (!readWord(r.file) || r.file.glob) return false;
        return cmd.redirs.addVal(r);
    }

    void add(Word& w, char c, bool quoted) {
        w.text += c;
        if (quoted && isGlobChar(c)) w.pat += '\\';
        w.pat += c;
    }

    bool readWord(Word& w) {
        bool start = true;
        while (p_ < end_) {
            char c = *p_;
            if (isBlank(c) || strchr("\n;&|<>()", c)) break;
            if (c == '~' && start) {
                // "~" and "~/...": the home directory; "~user" needs sh.
                if (p_ + 1 < end_ && !isBlank(p_[1]) && !strchr("/\n;&|<>()", p_[1])) return false;
                CxStr1p home;
                if (!envVarGetSet("HOME", home) || home.isEmpty()) return false;
                for (long long i = 0; i < home.length(); ++i)
                    add(w, home.c_str()[i], true);
                w.quoted = true;
                ++p_;
            } else if (c == '\'') {
                char const* q = (char const*)memchr(p_ + 1, '\'', (size_t)(end_ - p_ - 1));
                if (!q) return false;
                for (char const* s = p_ + 1; s < q; ++s)
                    add(w, *s, true);
                w.quoted = true;
                p_ = q + 1;
            } else if (c == '"') {
                ++p_;
                for (;;) {
                    if (p_ >= end_) return false;
                    char d = *p_++;
                    if (d == '"') break;
                    if (d == '$' || d == '`') return false;
                    if (d == '\\' && p_ < end_) {
                        char e = *p_;
                        if (e == '\n') {
                            ++p_;
                            continue;
                        }
                        if (e == '$' || e == '`' || e == '"' || e == '\\') {
                            d = e;
                            ++p_;
                        }
                    }
                    add(w, d, true);
                }
                w.quoted = true;
            } else if (c == '\\') {
                if (p_ + 1 >= end_) return false;
                // "obj\x.o" where cmd.exe is the interpreter is a path, not an escape.
                if (!shellWords().sh && (isalnum((unsigned char)p_[1]) || strchr("._", p_[1])))
                    return false;
                ++p_;
                if (*p_ != '\n') {
                    add(w, *p_, true);
                    w.quoted = true;
                }
                ++p_;
            } else if (c == '$' || c == '`') {
                return false;
            } else {
                if (c == '*' || c == '?' || c == '[') w.glob = true;
                w.text += c;
                w.pat += c;
                ++p_;
            }
            start = false;
        }
        if (w.glob) w.glob = hasMagic(w.pat);
        if (w.glob && dotsMatch(w.pat)) return false;
        // "{a,b}" and "{1..3}" expand in some shells; "{}" is a word in all.
        long long open = -1;
        if (w.pat.findIndex(open, '{') && strHas(w.pat, '}') &&
            (strHas(w.pat, ',') || strHas(w.pat, CxStr1p(".."))))
            return false;
        return true;
    }

    // ".*" takes "." and ".." in some shells and not in others.
    static bool dotsMatch(CxStr1p const& pat) {
        CxStr1p part;
        for (long long pos = 0; strToken(part, pos, pat, "/");)
            if (part.getAt(0) == '.' && (gmGlobMatch(gmSpanOf(part), gmSpanOf(CxStr1p("."))) ||
                                         gmGlobMatch(gmSpanOf(part), gmSpanOf(CxStr1p("..")))))
                return true;
        return false;
    }

    // A '[' without its ']' is itself, as in "[ -f x ]".
    static bool hasMagic(CxStr1p const& pat) {
        char const* d = pat.c_str();
        for (long long i = 0; i < pat.length(); ++i) {
            if (d[i] == '\\')
                ++i;
            else if (d[i] == '*' || d[i] == '?')
                return true;
            else if (d[i] == '[' && i + 2 < pat.length() && strchr(d + i + 2, ']'))
                return true;
        }
        return false;
    }
};

// Static checks of the commands this runner carries out: an option or form
// it does not know goes to sh whole, before anything runs.
bool optionLetters(Word const& w, char const* allowed) {
    for (long long i = 1; i < w.text.length(); ++i)
        if (!strchr(allowed, w.text.c_str()[i])) return false;
    return true;
}

// Options of a command taken as GNU's tools take them: anywhere before "--".
bool optionsOk(Cmd const& c, char const* allowed) {
    for (long long i = 1; i < c.words.size(); ++i) {
        Word const& w = c.words[i];
        if (w.text == "--") return true;
        if (w.text.length() > 1 && w.text.getAt(0) == '-' && !optionLetters(w, allowed))
            return false;
    }
    return true;
}

// "0", "42", "-7": what every shell reads the same as a number.
bool isDecimal(CxStr1p const& t) {
    char const* d = t.c_str();
    long long i = d[0] == '-' || d[0] == '+' ? 1 : 0;
    if (i >= t.length() || (d[i] == '0' && i + 1 < t.length())) return false;
    for (; i < t.length(); ++i)
        if (d[i] < '0' || d[i] > '9') return false;
    return t.length() < 19;
}

bool isInt(CxStr1p const& t) {
    long long n = 0;
    CxStr1p s = strTrimLR(t);
    return !s.isEmpty() && intFromStrSet(n, s, false, false);
}

bool testFormOk(Vect1p_Vobj<Word> const& w, long long from, long long to) {
    long long n = to - from;
    for (long long i = from; i < to; ++i)
        if (w[i].glob) return false;
    if (n > 0 && w[from].text == "!" && !w[from].quoted)
        return n > 1 && testFormOk(w, from + 1, to);
    if (n <= 1) return true;
    CxStr1p const& a = w[from].text;
    if (n == 2) return strIsEqAlt(a, "-e|-f|-d|-s|-r|-w|-x|-z|-n");
    if (n == 3) {
        CxStr1p const& op = w[from + 1].text;
        return strIsEqAlt(op, "=|!=|-eq|-ne|-lt|-le|-gt|-ge");
    }
    return false;
}

bool formOk(Cmd const& c) {
    if (c.words.isEmpty()) return true;
    CxStr1p const& name = c.words[0].text;
    long long n = c.words.size();
    if (!strIsEqAlt(name, kHere)) {
        // The platform interpreter's own commands too: a Makefile written for
        // cmd.exe that does not say so still gets its "del" and "copy".
        if (strIsEqAlt(name, kShOwnNotHere) || strIsEqIcaseAlt(name, shellWords().own))
            return false;
        // This tool or make: the existing rewriting to a nested run applies.
        if (strIsEqAlt(name, "make|gmake|vorn")) return false;
        RunInfo const* ri = RunInfo::_p;
        return !(ri && strIsEqIcase(name, ri->exeName));
    }
    if (name == "echo") {
        for (long long i = 1; i < n; ++i)
            if (strHas(c.words[i].text, '\\')) return false;
        // dash and bash read "-e" and friends differently.
        Word const& first = n > 1 ? c.words[1] : Word();
        return !(first.text.length() > 1 && first.text.getAt(0) == '-' && first.text != "-n" &&
                 optionLetters(first, "neE"));
    }
    if (name == "printf") {
        if (n < 2) return false;
        for (long long i = 1; i < n; ++i)
            if (c.words[i].glob) return false;
        CxStr1p const& f = c.words[1].text;
        // The format is used again while arguments remain; shells read a %d
        // argument other than a plain decimal (010, 0x1f, 3x) each their way.
        long long arg = 2;
        do {
            long long used = arg;
            for (long long i = 0; i < f.length(); ++i) {
                char ch = f.c_str()[i], next = f.getAt(i + 1);
                if (ch == '%' && (!next || !strchr("sd%", next))) return false;
                if (ch == '\\' && (!next || !strchr("nt\\", next))) return false;
                if (ch == '%' && next != '%' && arg < n && next == 'd' &&
                    !isDecimal(c.words[arg].text))
                    return false;
                if (ch == '%' && next != '%' && arg < n) ++arg;
                if (ch == '%' || ch == '\\') ++i;
            }
            if (arg == used) break;
        } while (arg < n);
        return true;
    }
    if (name == "cat") {
        bool input = false;
        for (Redir const& r : c.redirs)
            input = input || r.op == '<';
        for (long long i = 1; i < n; ++i)
            if (c.words[i].text.getAt(0) == '-') return false;
        return n > 1 || input;
    }
    if (name == "cp") return optionsOk(c, "rRpf");
    if (name == "mv") return optionsOk(c, "f");
    if (name == "rm") return optionsOk(c, "rRf");
    if (name == "mkdir") return optionsOk(c, "p");
    if (name == "rmdir" || name == "touch") return optionsOk(c, "");
    if (name == "ln") {
        // Hard links are left to sh.
        bool soft = false;
        for (long long i = 1; i < n; ++i)
            soft = soft || (c.words[i].text.getAt(0) == '-' && strHas(c.words[i].text, 's'));
        return soft && optionsOk(c, "sf");
    }
    if (name == "test") return testFormOk(c.words, 1, n);
    if (name == "[") return n > 1 && c.words[n - 1].text == "]" && testFormOk(c.words, 1, n - 1);
    if (name == "cd") return n == 1 || (n == 2 && !c.words[1].glob && c.words[1].text != "-");
    if (name == "exit") return n == 1 || (n == 2 && isInt(c.words[1].text));
    if (name == "sleep") {
        double sec = 0;
        for (long long i = 1; i < n; ++i)
            if (c.words[i].glob || !sleepDurationSec(sec, c.words[i].text)) return false;
        return n > 1;
    }
    return true; // true, false, ':'
}

bool readList(CmdList& list, CxStr1p const& line) {
    Reader r(line);
    if (!r.read(list)) return false;
    for (Cmd const& c : list)
        if (!formOk(c)) return false;
    return true;
}

// ---- running it

bool isDots(CxStr1p const& name) {
    return name == "." || name == "..";
}

class Runner {
  public:
    explicit Runner(bool errExit) : errExit_(errExit) {}

    int run(CmdList const& list) {
        for (long long i = 0; i < list.size(); ++i) {
            Cmd const& c = list[i];
            if ((c.join == '&' && status_ != 0) || (c.join == '|' && status_ == 0)) continue;
            if (appInterrupted()) return status_ ? status_ : 130;
            status_ = runOne(c);
            if (exit_) break;
            char next = i + 1 < list.size() ? list[i + 1].join : ';';
            if (errExit_ && status_ != 0 && next == ';') break;
        }
        return status_;
    }

  private:
    bool errExit_;
    bool exit_ = false;
    int status_ = 0;
    CxStr1p dir_; // the list's working directory; empty: ours
    FILE* io_[3] = {};
    Vect1p_Vobj<FILE*> opened_;

    CxStr1p at(CxStr1p const& p) const {
        if (dir_.isEmpty() || p.isEmpty() || pathIsAbsolute(p)) return p;
        return pathJoin(dir_, p);
    }

    void put(int fd, char const* text, long long n) {
        FILE* f = io_[fd];
        // Console output follows the log's silencing, as for the built-ins.
        if (f == stdout && logGetPassLevel() > 0) return;
        std::fwrite(text, 1, (size_t)n, f);
        std::fflush(f);
    }
    void put(int fd, CxStr1p const& text) { put(fd, text.c_str(), text.length()); }

    // "name: text" on the command's standard error; rc is returned.
    int failText(char const* name, CxStr1p const& text, int rc = 1) {
        CxStr1p m(name);
        m += ": ";
        m += text;
        m += '\n';
        put(2, m);
        return rc;
    }
    // As GNU's tools word it: "name: what 'x': why", or "name: x: why"
    // without a what.
    int fail(char const* name, char const* what, CxStr1p const& x, char const* why, int rc = 1) {
        CxStr1p m(what);
        if (!x.isEmpty()) {
            if (*what) m += ' ';
            m += *what ? "'" : "";
            m += x;
            m += *what ? "'" : "";
        }
        if (why && *why) {
            m += ": ";
            m += why;
        }
        return failText(name, m, rc);
    }
    int failUsage(char const* name, char const* what, CxStr1p const& x = CxStr1p()) {
        fail(name, what, x, "");
        CxStr1p m("Try '");
        m += name;
        m += " --help' for more information.";
        return failText(name, m);
    }
    int failSame(char const* name, CxStr1p const& a, CxStr1p const& b) {
        CxStr1p m("'");
        m += a;
        m += "' and '";
        m += b;
        m += "' are the same file";
        return failText(name, m);
    }
    int failSh(char const* what, CxStr1p const& x, int rc = 2) {
        CxStr1p m("/bin/sh: 1: "); // as make's /bin/sh -c words it
        m += what;
        m += x;
        m += '\n';
        put(2, m);
        return rc;
    }

    bool expand(StrVect& out, Word const& w) {
        if (!w.glob) return out.addVal(w.text);
        StrSet found;
        globInto(found, CxStr1p(), w.pat.c_str());
        if (found.isEmpty()) return out.addVal(w.text);
        for (auto const& node : found)
            if (!out.addVal(node.key)) return false;
        return true;
    }

    // Every path below prefix that matches the rest of the pattern.
    void globInto(StrSet& found, CxStr1p const& prefix, char const* pat) {
        if (*pat == '/' && prefix.isEmpty()) {
            while (*pat == '/')
                ++pat;
            return globInto(found, CxStr1p("/"), pat);
        }
        char const* slash = strchr(pat, '/');
        CxStr1p part(pat, slash ? slash - pat : (long long)strlen(pat));
        char const* rest = slash ? slash + 1 : nullptr;
        while (rest && *rest == '/')
            ++rest;
        bool magic = false;
        for (long long i = 0; i < part.length(); ++i) {
            char c = part.c_str()[i];
            if (c == '\\')
                ++i;
            else if (c == '*' || c == '?' || c == '[')
                magic = true;
        }
        auto step = [&](CxStr1p const& name) {
            CxStr1p path(prefix);
            path += name;
            if (!rest) {
                if (slash && !fsaIsDir(at(path))) return;
                if (slash) path += '/';
                found.addK(path);
            } else if (fsaIsDir(at(path))) {
                path += '/';
                if (*rest)
                    globInto(found, path, rest);
                else
                    found.addK(path);
            }
        };
        if (!magic) {
            CxStr1p name;
            for (long long i = 0; i < part.length(); ++i) {
                char c = part.c_str()[i];
                if (c == '\\' && i + 1 < part.length()) c = part.c_str()[++i];
                name += c;
            }
            CxStr1p path(prefix);
            path += name;
            if (rest || slash || fsbExist(at(path))) step(name);
            return;
        }
        CxStr1p list, name;
        if (!fsbLsDir(list, at(prefix.isEmpty() ? CxStr1p(".") : prefix))) return;
        for (long long pos = 0; strTokenNL(name, pos, list);) {
            if (name.last() == '/') name.forceLen(name.length() - 1);
            // The shared matcher leaves hidden names to a written leading '.'.
            if (!name.isEmpty() && gmGlobMatch(gmSpanOf(part), gmSpanOf(name))) step(name);
        }
    }

    bool openRedirs(Cmd const& c) {
        for (Redir const& r : c.redirs) {
            if (r.op == '&') {
                io_[r.fd] = io_[r.dup];
                continue;
            }
            CxStr1p path = r.file.text == "/dev/null" ? CxStr1p(hostNullDevice()) : at(r.file.text);
            FILE* f = std::fopen(path.c_str(), r.op == '<' ? "rb" : r.op == 'a' ? "ab" : "wb");
            if (!f) {
                CxStr1p m(r.file.text);
                if (r.op == '<') {
                    m += ": No such file";
                } else {
                    CxStr1p parent = pathDirPart(path);
                    m += fsaIsDir(path)                           ? ": Is a directory"
                         : !parent.isEmpty() && !fsaIsDir(parent) ? ": Directory nonexistent"
                                                                  : ": Permission denied";
                }
                failSh(r.op == '<' ? "cannot open " : "cannot create ", m);
                return false;
            }
            opened_.addVal(f);
            io_[r.fd] = f;
        }
        return true;
    }

    void closeRedirs() {
        for (FILE* f : opened_)
            std::fclose(f);
        opened_.clear();
    }

    int runOne(Cmd const& c) {
        io_[0] = stdin;
        io_[1] = stdout;
        io_[2] = stderr;
        StrVect words;
        for (Word const& w : c.words)
            if (!expand(words, w)) return 2;
        int rc = 2;
        if (openRedirs(c)) rc = words.isEmpty() ? 0 : dispatch(words);
        closeRedirs();
        return rc;
    }

    int dispatch(StrVect& a) {
        CxStr1p const& name = a[0];
        if (name == "true" || name == ":") return 0;
        if (name == "false") return 1;
        if (name == "echo") return doEcho(a);
        if (name == "printf") return doPrintf(a);
        if (name == "cat") return doCat(a);
        if (name == "cp") return doCp(a);
        if (name == "mv") return doMv(a);
        if (name == "rm") return doRm(a);
        if (name == "rmdir") return doRmdir(a);
        if (name == "mkdir") return doMkdir(a);
        if (name == "touch") return doTouch(a);
        if (name == "ln") return doLn(a);
        if (name == "test" || name == "[") return doTest(a);
        if (name == "cd") return doCd(a);
        if (name == "sleep") return doSleep(a);
        if (name == "exit") {
            exit_ = true;
            long long n = status_;
            if (a.size() > 1) intFromStrSet(n, strTrimLR(a[1]), false, false);
            return (int)(n & 255);
        }
        return doProgram(a);
    }

    // Options (letters set in opt) and operands, read as GNU's tools read them.
    bool split(StrVect& ops, bool* opt, StrVect const& a, char const* allowed) {
        bool dashes = false;
        for (long long i = 1; i < a.size(); ++i) {
            CxStr1p const& w = a[i];
            if (!dashes && w == "--") {
                dashes = true;
            } else if (!dashes && w.length() > 1 && w.getAt(0) == '-') {
                for (long long k = 1; k < w.length(); ++k) {
                    char const* at = strchr(allowed, w.c_str()[k]);
                    if (!at) {
                        failUsage(a[0].c_str(), "invalid option --", CxStr1p(w.c_str() + k, 1));
                        return false;
                    }
                    opt[at - allowed] = true;
                }
            } else {
                ops.addVal(w);
            }
        }
        return true;
    }

    int doEcho(StrVect const& a) {
        bool nl = !(a.size() > 1 && a[1] == "-n");
        CxStr1p text;
        for (long long i = nl ? 1 : 2; i < a.size(); ++i) {
            if (i > (nl ? 1 : 2)) text += ' ';
            text += a[i];
        }
        if (nl) text += '\n';
        put(1, text);
        return 0;
    }

    int doPrintf(StrVect const& a) {
        CxStr1p const& f = a[1];
        CxStr1p out;
        long long next = 2;
        do {
            long long used = next;
            for (long long i = 0; i < f.length(); ++i) {
                char c = f.c_str()[i];
                if (c == '\\') {
                    char e = f.c_str()[++i];
                    out += e == 'n' ? '\n' : e == 't' ? '\t' : '\\';
                } else if (c == '%') {
                    char e = f.c_str()[++i];
                    if (e == '%') {
                        out += '%';
                        continue;
                    }
                    CxStr1p arg = next < a.size() ? a[next] : CxStr1p();
                    if (next < a.size()) ++next;
                    if (e == 's') {
                        out += arg;
                        continue;
                    }
                    // Checked before the line ran: a plain decimal or nothing.
                    long long n = 0;
                    if (!arg.isEmpty()) intFromStrSet(n, arg, false, false);
                    out += strFromInt(n);
                } else {
                    out += c;
                }
            }
            if (next == used) break;
        } while (next < a.size());
        put(1, out);
        return 0;
    }

    int doCat(StrVect const& a) {
        int rc = 0;
        if (a.size() == 1) {
            char buf[65536];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, io_[0])) > 0)
                put(1, buf, (long long)n);
            return 0;
        }
        for (long long i = 1; i < a.size(); ++i) {
            CxStr1p text;
            if (fsaIsDir(at(a[i]))) {
                rc = fail("cat", "", a[i], "Is a directory");
            } else if (!strFileLoadFd(at(a[i]), text)) {
                rc = fail("cat", "", a[i], "No such file or directory");
            } else {
                put(1, text);
            }
        }
        return rc;
    }

    // The target of src below a directory target, or the target itself.
    CxStr1p destOf(CxStr1p const& src, CxStr1p const& target, bool intoDir) {
        if (!intoDir) return target;
        CxStr1p name(src);
        while (name.length() > 1 && name.last() == '/')
            name.forceLen(name.length() - 1);
        return pathJoin(target, pathFilePart(name));
    }

    // Checks shared by cp and mv; false with the status set when the operands
    // cannot work at all.
    bool targetOf(int& rc, char const* name, StrVect& ops, CxStr1p& target, bool& intoDir) {
        if (ops.size() < 2) {
            rc = ops.isEmpty() ? failUsage(name, "missing file operand")
                               : failUsage(name, "missing destination file operand after", ops[0]);
            return false;
        }
        target = ops[ops.size() - 1];
        ops.delAt(ops.size() - 1);
        intoDir = fsaIsDir(at(target));
        if (ops.size() > 1 && !intoDir) {
            CxStr1p m("target '");
            m += target;
            m += "' is not a directory";
            rc = fsbExist(at(target)) ? failText(name, m)
                                      : fail(name, "target", target, "No such file or directory");
            return false;
        }
        return true;
    }

    bool copyTree(CxStr1p const& from, CxStr1p const& to, bool keep) {
        if (fsbIsLink(from)) return fsbLinkCopy(from, to);
        if (!fsaIsDir(from)) {
            if (!fsaFileCopyFd(from, to)) return false;
            return keep || fsaTouch(to);
        }
        if (!fsaIsDir(to) && !fsMkDir(to)) return false;
        CxStr1p list, name;
        if (!fsbLsDir(list, from)) return false;
        bool ok = true;
        for (long long pos = 0; strTokenNL(name, pos, list);) {
            if (name.last() == '/') name.forceLen(name.length() - 1);
            ok = copyTree(pathJoin(from, name), pathJoin(to, name), keep) && ok;
        }
        if (keep) fsaTouch(to, fsaTime(from), 'e');
        return ok;
    }

    int doCp(StrVect const& a) {
        bool opt[4] = {};
        StrVect ops;
        if (!split(ops, opt, a, "rRpf")) return 1;
        bool rec = opt[0] || opt[1], keep = opt[2];
        CxStr1p target;
        bool intoDir;
        int rc = 0;
        if (!targetOf(rc, "cp", ops, target, intoDir)) return rc;
        for (CxStr1p const& src : ops) {
            CxStr1p from = at(src), dst = destOf(src, target, intoDir), to = at(dst);
            if (!fsaExist(from)) {
                rc = fail("cp", "cannot stat", src, "No such file or directory");
            } else if (fsaIsDir(from) && !rec) {
                rc = fail("cp", "-r not specified; omitting directory", src, "");
            } else if (fsIsSameFile(from, to)) {
                rc = failSame("cp", src, dst);
            } else if (fsaIsDir(from)) {
                CxStr1p f = pathCleanAll(from), t = pathCleanAll(to);
                f += '/';
                if (strHasStart(t, f)) {
                    rc = fail("cp", "cannot copy a directory into itself", src, "");
                } else if (fsaExist(to) && !fsaIsDir(to)) {
                    rc = fail("cp", "cannot overwrite non-directory", dst, "with directory");
                } else if (!copyTree(from, to, keep)) {
                    rc = fail("cp", "cannot copy", src, strerror(errno));
                }
            } else if (fsaIsDir(to)) {
                rc = fail("cp", "cannot overwrite directory", dst, "with non-directory");
            } else if (!fsaFileCopyFd(from, to) &&
                       !(opt[3] && fsRm(to) && fsaFileCopyFd(from, to))) {
                rc = fail("cp", "cannot create regular file", dst, strerror(errno));
            } else if (!keep) {
                fsaTouch(to);
            }
        }
        return rc;
    }

    int doMv(StrVect const& a) {
        bool opt[1] = {};
        StrVect ops;
        if (!split(ops, opt, a, "f")) return 1;
        CxStr1p target;
        bool intoDir;
        int rc = 0;
        if (!targetOf(rc, "mv", ops, target, intoDir)) return rc;
        for (CxStr1p const& src : ops) {
            CxStr1p from = at(src), dst = destOf(src, target, intoDir), to = at(dst);
            if (!fsbExist(from)) {
                rc = fail("mv", "cannot stat", src, "No such file or directory");
            } else if (fsIsSameFile(from, to)) {
                rc = failSame("mv", src, dst);
            } else if (fsaIsDir(to) && !fsaIsDir(from)) {
                rc = fail("mv", "cannot overwrite directory", dst, "with non-directory");
            } else if (!fsRename(from, to)) {
                // Across file systems: a copy, then the original goes.
                bool moved = !fsaIsDir(from) && fsbFileMoveFd(from, to);
                if (!moved) rc = fail("mv", "cannot move", src, strerror(errno));
            }
        }
        return rc;
    }

    int doRm(StrVect const& a) {
        bool opt[3] = {};
        StrVect ops;
        if (!split(ops, opt, a, "rRf")) return 1;
        bool rec = opt[0] || opt[1], force = opt[2];
        if (ops.isEmpty()) return force ? 0 : failUsage("rm", "missing operand");
        int rc = 0;
        for (CxStr1p const& f : ops) {
            CxStr1p p = at(f), last = pathFilePart(pathCleanSep(f));
            if (rec && (isDots(last) || pathIsRoot(pathCleanAll(p)))) {
                rc = fail("rm", "refusing to remove '.' or '..' directory: skipping", f, "");
            } else if (!fsbExist(p)) {
                if (!force) rc = fail("rm", "cannot remove", f, "No such file or directory");
            } else if (fsbIsDir(p) && !rec) {
                rc = fail("rm", "cannot remove", f, "Is a directory");
            } else if (!(rec ? fsRmRec(p) : fsRm(p))) {
                rc = fail("rm", "cannot remove", f, strerror(errno));
            }
        }
        return rc;
    }

    int doRmdir(StrVect const& a) {
        StrVect ops;
        if (!split(ops, nullptr, a, "")) return 1;
        if (ops.isEmpty()) return failUsage("rmdir", "missing operand");
        int rc = 0;
        for (CxStr1p const& d : ops) {
            CxStr1p p = at(d);
            char const* why = !fsbExist(p)    ? "No such file or directory"
                              : !fsaIsDir(p)  ? "Not a directory"
                              : !fsRmEntry(p) ? "Directory not empty"
                                              : nullptr;
            if (why) rc = fail("rmdir", "failed to remove", d, why);
        }
        return rc;
    }

    int doMkdir(StrVect const& a) {
        bool opt[1] = {};
        StrVect ops;
        if (!split(ops, opt, a, "p")) return 1;
        if (ops.isEmpty()) return failUsage("mkdir", "missing operand");
        int rc = 0;
        for (CxStr1p const& d : ops) {
            CxStr1p p = at(d);
            if (opt[0] ? (fsaIsDir(p) || fsMkDirRec(p)) : (!fsbExist(p) && fsMkDir(p))) continue;
            char const* why = fsbExist(p) ? "File exists" : "No such file or directory";
            rc = fail("mkdir", "cannot create directory", d, why);
        }
        return rc;
    }

    int doTouch(StrVect const& a) {
        StrVect ops;
        if (!split(ops, nullptr, a, "")) return 1;
        if (ops.isEmpty()) return failUsage("touch", "missing file operand");
        int rc = 0;
        for (CxStr1p const& f : ops)
            if (!fsaTouch(at(f)))
                rc = fail("touch", "cannot touch", f, "No such file or directory");
        return rc;
    }

    int doLn(StrVect const& a) {
        bool opt[2] = {};
        StrVect ops;
        if (!split(ops, opt, a, "sf")) return 1;
        if (ops.isEmpty()) return failUsage("ln", "missing file operand");
        CxStr1p target;
        bool intoDir = true;
        int rc = 0;
        if (ops.size() == 1) {
            target = ".";
        } else if (!targetOf(rc, "ln", ops, target, intoDir)) {
            return rc;
        }
        for (CxStr1p const& src : ops) {
            CxStr1p link = destOf(src, target, intoDir), p = at(link);
            if (fsbExist(p) && !opt[1]) {
                rc = fail("ln", "failed to create symbolic link", link, "File exists");
                continue;
            }
            if (fsbExist(p) && !fsaIsDir(p)) fsRm(p);
            bool made;
            if (hostLinkIsCopy()) {
                // The target is named from the link's directory.
                CxStr1p from = pathIsAbsolute(src) ? src : pathJoin(pathDirPart(p), src);
                made = fsaExist(from) && copyTree(from, p, true);
            } else {
                made = fsMkSymLink(p, src);
            }
            if (!made) rc = fail("ln", "failed to create symbolic link", link, strerror(errno));
        }
        return rc;
    }

    // sh's test: 0 true, 1 false, 2 a wrong expression.
    int testExpr(StrVect const& a, long long from, long long to) {
        long long n = to - from;
        if (n == 0) return 1;
        if (a[from] == "!" && n > 1) {
            int r = testExpr(a, from + 1, to);
            return r == 2 ? 2 : 1 - r;
        }
        if (n == 1) return a[from].isEmpty() ? 1 : 0;
        CxStr1p const& x = a[from + 1];
        if (n == 2) {
            CxStr1p const& op = a[from];
            if (op == "-z") return x.isEmpty() ? 0 : 1;
            if (op == "-n") return x.isEmpty() ? 1 : 0;
            FsStatBuf st;
            bool there = fsaStat(st, at(x)) || fsaIsDir(at(x));
            bool yes = op == "-e"   ? there
                       : op == "-f" ? there && st.type == 'F'
                       : op == "-d" ? fsaIsDir(at(x))
                       : op == "-s" ? there && st.size > 0
                       : op == "-x" ? there && (fsaIsDir(at(x)) || st.isExe)
                                    : there; // -r, -w: what exists is ours here
            return yes ? 0 : 1;
        }
        CxStr1p const& l = a[from];
        CxStr1p const& r = a[from + 2];
        if (x == "=") return l == r ? 0 : 1;
        if (x == "!=") return l == r ? 1 : 0;
        long long li = 0, ri = 0;
        if (!intFromStrSet(li, strTrimLR(l), false, false)) {
            failSh("test: Illegal number: ", l);
            return 2;
        }
        if (!intFromStrSet(ri, strTrimLR(r), false, false)) {
            failSh("test: Illegal number: ", r);
            return 2;
        }
        bool yes = x == "-eq"   ? li == ri
                   : x == "-ne" ? li != ri
                   : x == "-lt" ? li < ri
                   : x == "-le" ? li <= ri
                   : x == "-gt" ? li > ri
                                : li >= ri;
        return yes ? 0 : 1;
    }

    int doTest(StrVect const& a) {
        long long to = a.size();
        if (a[0] == "[") --to;
        return testExpr(a, 1, to);
    }

    int doCd(StrVect const& a) {
        CxStr1p to;
        if (a.size() > 1)
            to = a[1];
        else if (!envVarGetSet("HOME", to) || to.isEmpty())
            return 0;
        // Logical, as sh's cd: "sub/.." is where the list started.
        CxStr1p p = pathCleanDots(at(to));
        if (p.isEmpty()) p = ".";
        if (!fsaIsDir(p)) return failSh("cd: can't cd to ", to);
        dir_ = p == "." ? CxStr1p() : p;
        return 0;
    }

    int doSleep(StrVect const& a) {
        double total = 0, sec = 0;
        for (long long i = 1; i < a.size(); ++i)
            if (sleepDurationSec(sec, a[i])) total += sec;
        return sleepInterruptible(total) ? 0 : 130;
    }

    int doProgram(StrVect const& a) {
        int fds[3];
        for (int i = 0; i < 3; ++i) {
            std::fflush(io_[i]);
            fds[i] = io_[i] == (i == 0 ? stdin : i == 1 ? stdout : stderr) ? -1 : fileno(io_[i]);
        }
        Conf const* c = Conf::_p;
        if (c && c->dbgExecAll) logTraceDbg(true, "Start program: %s", a[0].c_str());
        RunAppInfo app;
        int rc = runProgram(app, a, dir_, fds);
        if (rc == 127) return failSh("", CxStr1p(a[0]) += ": not found", 127);
        if (rc == 126) return failSh("", CxStr1p(a[0]) += ": Permission denied", 126);
        runAppWaitExit(app);
        return retCodeSimplify(runAppGetRetCode(app));
    }
};

} // namespace

bool shListTakes(CxStr1p const& line) {
    CmdList list;
    return readList(list, line);
}

bool shListRun(int& rc, CxStr1p const& line, bool errExit) {
    CmdList list;
    if (!readList(list, line)) return false;
    Conf const* c = Conf::_p;
    if (c && c->dbgExecAll) logTraceDbg(true, "Start in-process: %s", line.c_str());
    std::fflush(stdout);
    std::fflush(stderr);
    Runner r(errExit);
    rc = r.run(list);
    return true;
}
