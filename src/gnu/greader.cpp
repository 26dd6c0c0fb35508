#include "gnu/greader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/log.h"
#include "base/fs.h"
#include "base/textedit.h"
#include "base/tok.h"

extern char** environ;

namespace {

char const* const kWhite = " \t";

// A target-specific assignment, applied when the goal's recipe is expanded.
struct GmTargetVar {
    CxStr1p name, op, value;
    bool override = false, exported = false;
};

struct GmTarget {
    Vect1p_Vobj<CxStr1p> prereqs; // as written over all rules, duplicates kept
    Vect1p_Vobj<CxStr1p> orderOnly;
    Vect1p_Vobj<CxStr1p> recipe; // raw lines
    Vect1p_Vobj<CxStr1p> recipeWhere;
    Vect1p_Vobj<GmTargetVar> vars;
    bool hasRecipe = false;
    bool seen = false;   // scope inheritance walk
    long long order = 0; // first mention as a target
};

struct Cond {
    bool active; // this branch's lines are read
    bool taken;  // a branch of this conditional was true
    bool outer;  // the enclosing level is active
    bool inElse;
};

bool isSpecialTarget(CxStr1p const& name) {
    return strIsEqAlt(name, ".PHONY|.SUFFIXES|.DEFAULT|.PRECIOUS|.INTERMEDIATE|.SECONDARY|"
                            ".SECONDEXPANSION|.DELETE_ON_ERROR|.IGNORE|.LOW_RESOLUTION_TIME|"
                            ".SILENT|.EXPORT_ALL_VARIABLES|.NOTPARALLEL|.ONESHELL|.POSIX");
}

bool isWhiteC(char c) {
    return c == ' ' || c == '\t';
}

// Index of the first c at reference depth 0 from 'from'; -1 when none.
long long findTop(CxStr1p const& s, char const* chars, long long from = 0) {
    int depth = 0;
    char const* d = s.c_str();
    for (long long i = from; i < s.length(); ++i) {
        char c = d[i];
        if (c == '$' && (d[i + 1] == '(' || d[i + 1] == '{')) {
            ++depth;
            ++i;
            continue;
        }
        if (depth > 0) {
            if (c == '(' || c == '{') ++depth;
            if (c == ')' || c == '}') --depth;
            continue;
        }
        if (strchr(chars, c)) return i;
    }
    return -1;
}

CxStr1p sub(CxStr1p const& s, long long from, long long to = -1) {
    if (to < 0 || to > s.length()) to = s.length();
    if (from > to) from = to;
    return CxStr1p(s.c_str() + from, to - from);
}

CxStr1p trim(CxStr1p const& s) {
    return strTrimLR(s, " \t");
}

bool addWords(Vect1p_Vobj<CxStr1p>& out, CxStr1p const& text) {
    CxStr1p w;
    long long pos = 0;
    while (strToken(w, pos, text, " \t\r\n"))
        if (!out.addVal(w)) return false;
    return true;
}

// First word and the rest, split at blanks.
void firstWord(CxStr1p& word, CxStr1p& rest, CxStr1p const& line) {
    long long i = 0, n = line.length();
    char const* d = line.c_str();
    while (i < n && !isWhiteC(d[i]))
        ++i;
    word = sub(line, 0, i);
    rest = trim(sub(line, i));
}

class Reader {
  public:
    Reader(GmReadIn const& in, GmHooks const& hooks, CxStr1p& err)
        : in_(in), hooks_(hooks), err_(err) {}

    bool run(Vect1p_Vobj<CxStr1p>& goals);

  private:
    GmReadIn const& in_;
    GmHooks const& hooks_;
    CxStr1p& err_;
    GmVars vars_;
    Map_Kobj2Vobj<CxStr1p, GmTarget> targets_;
    Vect1p_Vobj<CxStr1p> order_;
    CxStr1p firstGoal_;
    Vect1p_Vobj<Cond> conds_;
    Vect1p_Vobj<CxStr1p> cur_; // the targets recipe lines belong to
    bool anyRule_ = false;
    CxStr1p file_;
    long long line_ = 0;
    GmExpandCtx ctx_;

    bool active() const { return conds_.isEmpty() || conds_[conds_.size() - 1].active; }
    CxStr1p where() const {
        CxStr1p w(file_);
        char n[32];
        snprintf(n, sizeof n, ":%lld", line_);
        w += n;
        return w;
    }
    bool fail(char const* msg) {
        err_ = where();
        err_ += ": *** ";
        err_ += msg;
        err_ += ".  Stop.";
        return false;
    }
    bool failCtx() {
        CxStr1p m(ctx_.err);
        return fail(m.c_str());
    }
    bool expand(CxStr1p& out, CxStr1p const& text) {
        ctx_.where = where();
        ctx_.scope = nullptr;
        ctx_.autos = nullptr;
        return gmExpand(out, text, ctx_) || failCtx();
    }

    bool readText(CxStr1p const& text);
    bool directive(CxStr1p const& line, bool& handled, CxStr1p const& text, long long& pos);
    bool conditional(CxStr1p const& word, CxStr1p const& rest, bool& handled);
    bool evalCond(bool& truth, CxStr1p const& word, CxStr1p const& rest);
    bool assignment(CxStr1p const& line, bool& handled, bool override, bool exported,
                    GmTarget* target);
    bool assign(CxStr1p const& name, CxStr1p const& op, CxStr1p const& value, bool override,
                GmOrigin origin);
    bool define(CxStr1p const& rest, bool override, bool exported, CxStr1p const& text,
                long long& pos);
    bool rule(CxStr1p const& line);
    GmTarget* target(CxStr1p const& name);
    bool finish(Vect1p_Vobj<CxStr1p>& goals);
    bool setupVars(Vect1p_Vobj<CxStr1p>& goals);
    bool scopeFor(GmVars& scope, GmTarget const& t, CxStr1p const& name);
    bool emitGoal(CxStr1p const& name, GmTarget& t, GmVars const* inherited);

    friend bool evalHook(void* reader, CxStr1p const& text, GmExpandCtx& ctx);
};

bool evalHook(void* reader, CxStr1p const& text, GmExpandCtx&) {
    Reader& r = *static_cast<Reader*>(reader);
    long long saved = r.line_;
    bool ok = r.readText(text);
    r.line_ = saved;
    return ok;
}

// One physical line from pos; false at the end.
bool nextPhys(CxStr1p& out, long long& pos, CxStr1p const& text) {
    if (pos >= text.length()) return false;
    char const* d = text.c_str();
    long long e = pos;
    while (e < text.length() && d[e] != '\n')
        ++e;
    long long end = e;
    if (end > pos && d[end - 1] == '\r') --end;
    out.setCstr(d + pos, end - pos);
    pos = e < text.length() ? e + 1 : e;
    return true;
}

// A line ends in an odd number of backslashes: it goes on.
bool continues(CxStr1p const& s) {
    long long n = 0;
    for (long long i = s.length() - 1; i >= 0 && s.c_str()[i] == '\\'; --i)
        ++n;
    return n % 2 == 1;
}

// Cuts the comment: the first '#' outside references, not escaped; "\#" is '#'.
void stripComment(CxStr1p& s) {
    CxStr1p out;
    int depth = 0;
    char const* d = s.c_str();
    for (long long i = 0; i < s.length(); ++i) {
        char c = d[i];
        if (c == '\\' && d[i + 1] == '#') {
            out += '#';
            ++i;
            continue;
        }
        if (c == '$' && (d[i + 1] == '(' || d[i + 1] == '{')) {
            ++depth;
            out += c;
            out += d[++i];
            continue;
        }
        if (depth > 0) {
            if (c == '(' || c == '{') ++depth;
            if (c == ')' || c == '}') --depth;
        } else if (c == '#') {
            break;
        }
        out += c;
    }
    s.setMove(out);
}

bool Reader::readText(CxStr1p const& text) {
    long long pos = 0;
    CxStr1p phys, line;
    while (nextPhys(phys, pos, text)) {
        ++line_;
        GmVar* rp = vars_.find(".RECIPEPREFIX");
        char pre = rp && !rp->value.isEmpty() ? rp->value.getAt(0) : '\t';
        if (phys.getAt(0) == pre && !cur_.isEmpty()) {
            // A recipe line: kept as written, continuations included.
            line = sub(phys, 1);
            while (continues(phys) && nextPhys(phys, pos, text)) {
                ++line_;
                line += '\n';
                line += phys.getAt(0) == pre ? sub(phys, 1) : phys;
            }
            if (!active()) continue;
            for (CxStr1p const& t : cur_) {
                GmTarget* g = target(t);
                if (!g || !g->recipe.addVal(line) || !g->recipeWhere.addVal(where()))
                    return fail("out of memory");
                g->hasRecipe = true;
            }
            continue;
        }
        // A logical line: continuations become one blank.
        long long first = line_;
        line = phys;
        while (continues(line) && nextPhys(phys, pos, text)) {
            ++line_;
            line.forceLen(line.length() - 1);
            strTrimRSet(line, kWhite);
            line += ' ';
            line += strTrimL(phys, kWhite);
        }
        long long last = line_;
        line_ = first;
        bool tabbed = line.getAt(0) == pre;
        stripComment(line);
        CxStr1p t = trim(line);
        if (t.isEmpty()) {
            line_ = last;
            continue;
        }
        if (tabbed && anyRule_ && cur_.isEmpty()) {
            // Directives may be indented with the prefix; anything else is a stray recipe.
            CxStr1p w, r;
            firstWord(w, r, t);
            if (!strIsEqAlt(w, "ifeq|ifneq|ifdef|ifndef|else|endif|define|endef|include|"
                               "-include|sinclude|override|export|unexport|undefine") &&
                active())
                return fail("recipe commences before first target");
        }
        bool handled = false;
        if (!directive(t, handled, text, pos)) return false;
        if (!handled && active()) {
            if (!assignment(t, handled, false, false, nullptr)) return false;
            if (handled)
                cur_.clear();
            else if (!rule(t))
                return false;
        }
        if (line_ < last) line_ = last;
    }
    return true;
}

bool Reader::directive(CxStr1p const& line, bool& handled, CxStr1p const& text, long long& pos) {
    CxStr1p word, rest;
    firstWord(word, rest, line);
    if (!conditional(word, rest, handled)) return false;
    if (handled || !active()) {
        handled = true;
        return true;
    }
    bool override = false, exported = false;
    CxStr1p body = line;
    for (;;) {
        firstWord(word, rest, body);
        if (word == "override" && !rest.isEmpty()) {
            override = true;
        } else if (word == "export" && !rest.isEmpty()) {
            exported = true;
        } else {
            break;
        }
        body = rest;
    }
    if (word == "define") {
        handled = true;
        cur_.clear();
        return define(rest, override, exported, text, pos);
    }
    if (override || exported) {
        bool as = false;
        if (!assignment(body, as, override, exported, nullptr)) return false;
        if (as) {
            handled = true;
            cur_.clear();
            return true;
        }
        if (override) return fail("missing separator");
        // "export a b": export these names.
        CxStr1p names;
        if (!expand(names, body)) return false;
        Vect1p_Vobj<CxStr1p> list;
        addWords(list, names);
        for (CxStr1p const& n : list) {
            GmVar* v = vars_.findHere(n);
            if (!v) v = vars_.set(n, "", GmFlavor::Recursive, GmOrigin::File);
            if (v) {
                v->exported = true;
                v->unexported = false;
            }
        }
        handled = true;
        return true;
    }
    if (word == "export" || word == "unexport") {
        handled = true;
        cur_.clear();
        CxStr1p names;
        if (!expand(names, rest)) return false;
        Vect1p_Vobj<CxStr1p> list;
        addWords(list, names);
        bool ex = word == "export";
        if (list.isEmpty()) {
            // Alone: every variable (or none) is exported.
            for (auto& n : vars_.map) {
                if (n.val.origin == GmOrigin::File || n.val.origin == GmOrigin::CommandLine ||
                    n.val.origin == GmOrigin::Override)
                    n.val.exported = ex, n.val.unexported = !ex;
            }
            return true;
        }
        for (CxStr1p const& n : list) {
            GmVar* v = vars_.findHere(n);
            if (!v) v = vars_.set(n, "", GmFlavor::Recursive, GmOrigin::Undefined);
            if (v) {
                v->exported = ex;
                v->unexported = !ex;
            }
        }
        return true;
    }
    if (word == "undefine") {
        handled = true;
        CxStr1p name;
        if (!expand(name, rest)) return false;
        GmVar* v = vars_.findHere(trim(name));
        if (v && v->origin == GmOrigin::CommandLine && !override) return true;
        vars_.undefine(trim(name));
        return true;
    }
    if (strIsEqAlt(word, "include|-include|sinclude")) {
        handled = true;
        cur_.clear();
        CxStr1p names;
        if (!expand(names, rest)) return false;
        Vect1p_Vobj<CxStr1p> list;
        addWords(list, names);
        for (CxStr1p const& f : list) {
            CxStr1p content;
            if (!fsaIsFile(f) || !strFileLoadFd(f, content)) {
                if (word != "include") continue;
                CxStr1p m(f);
                m += ": No such file or directory";
                return fail(m.c_str());
            }
            CxStr1p savedFile(file_);
            long long savedLine = line_;
            file_ = f;
            line_ = 0;
            if (GmVar* ml = vars_.findHere("MAKEFILE_LIST")) strJoinSPC(ml->value, f);
            bool ok = readText(content);
            file_ = savedFile;
            line_ = savedLine;
            if (!ok) return false;
        }
        return true;
    }
    if (word == "vpath") return fail("vpath is not read yet by this dialect");
    return true;
}

bool Reader::conditional(CxStr1p const& word, CxStr1p const& rest, bool& handled) {
    handled = false;
    if (strIsEqAlt(word, "ifeq|ifneq|ifdef|ifndef")) {
        handled = true;
        Cond c{false, false, active(), false};
        if (c.outer) {
            bool truth = false;
            if (!evalCond(truth, word, rest)) return false;
            c.active = c.taken = truth;
        }
        if (!conds_.addVal(c)) return fail("out of memory");
        return true;
    }
    if (word == "else") {
        handled = true;
        if (conds_.isEmpty()) return fail("extraneous 'else'");
        Cond& c = conds_[conds_.size() - 1];
        if (c.inElse && rest.isEmpty()) return fail("only one 'else' per conditional");
        if (rest.isEmpty()) {
            c.inElse = true;
            c.active = c.outer && !c.taken;
            c.taken = c.taken || c.active;
            return true;
        }
        // "else ifeq ...": a further branch of the same conditional.
        CxStr1p w2, r2;
        firstWord(w2, r2, rest);
        if (!strIsEqAlt(w2, "ifeq|ifneq|ifdef|ifndef"))
            return fail("extraneous text after 'else' directive");
        if (!c.outer || c.taken) {
            c.active = false;
            return true;
        }
        bool truth = false;
        if (!evalCond(truth, w2, r2)) return false;
        c.active = c.taken = truth;
        return true;
    }
    if (word == "endif") {
        handled = true;
        if (conds_.isEmpty()) return fail("extraneous 'endif'");
        conds_.delLast();
        return true;
    }
    return true;
}

bool Reader::evalCond(bool& truth, CxStr1p const& word, CxStr1p const& rest) {
    if (word == "ifdef" || word == "ifndef") {
        CxStr1p name;
        if (!expand(name, rest)) return false;
        GmVar* v = vars_.find(trim(name));
        bool def = v && v->origin != GmOrigin::Undefined && !v->value.isEmpty();
        truth = (word == "ifdef") == def;
        return true;
    }
    // "(a,b)", "'a' 'b'", "\"a\" \"b\"" and mixed quotes.
    CxStr1p a, b;
    char const* d = rest.c_str();
    if (d[0] == '(') {
        long long comma = findTop(rest, ",", 1);
        if (comma < 0 || rest.last() != ')') return fail("invalid syntax in conditional");
        a = strTrimL(sub(rest, 1, comma), kWhite);
        a = strTrimR(a, kWhite);
        b = strTrimR(sub(rest, comma + 1, rest.length() - 1), kWhite);
        b = strTrimL(b, kWhite);
    } else if (d[0] == '"' || d[0] == '\'') {
        char q = d[0];
        long long e = 1;
        while (e < rest.length() && d[e] != q)
            ++e;
        if (e >= rest.length()) return fail("invalid syntax in conditional");
        a = sub(rest, 1, e);
        CxStr1p r = trim(sub(rest, e + 1));
        char q2 = r.getAt(0);
        if ((q2 != '"' && q2 != '\'') || r.last() != q2 || r.length() < 2)
            return fail("invalid syntax in conditional");
        b = sub(r, 1, r.length() - 1);
    } else {
        return fail("invalid syntax in conditional");
    }
    CxStr1p ea, eb;
    if (!expand(ea, a) || !expand(eb, b)) return false;
    truth = (ea == eb) == (word == "ifeq");
    return true;
}

// Splits "name op value" when the line is an assignment; op is one of
// = := ::= :::= += ?= !=.
bool splitAssign(CxStr1p& name, CxStr1p& op, CxStr1p& value, CxStr1p const& line) {
    long long i = findTop(line, "=:;");
    if (i < 0) return false;
    char const* d = line.c_str();
    long long opStart = i, opEnd = i + 1;
    if (d[i] == ';') return false;
    if (d[i] == ':') {
        long long k = i;
        while (d[k] == ':')
            ++k;
        if (d[k] != '=' || k - i > 3) return false;
        opEnd = k + 1;
    } else if (i > 0 && strchr("+?!", d[i - 1])) {
        opStart = i - 1;
    }
    name = trim(sub(line, 0, opStart));
    if (name.isEmpty()) return false;
    op = sub(line, opStart, opEnd);
    value = strTrimL(sub(line, opEnd), kWhite);
    return true;
}

bool Reader::assignment(CxStr1p const& line, bool& handled, bool override, bool exported,
                        GmTarget* target) {
    handled = false;
    CxStr1p name, op, value;
    if (!splitAssign(name, op, value, line)) return true;
    handled = true;
    CxStr1p en;
    if (!expand(en, name)) return false;
    en = trim(en);
    if (en.isEmpty()) return fail("empty variable name");
    if (isSpecialTarget(en)) {
        // GNU make would quietly make a variable of it; the rule was meant.
        CxStr1p m("'");
        m += en;
        m += "' is a special target: write '";
        m += en;
        m += ": ...', not an assignment";
        return fail(m.c_str());
    }
    if (target) {
        GmTargetVar tv;
        tv.name = en;
        tv.op = op;
        tv.value = value;
        tv.override = override;
        tv.exported = exported;
        return target->vars.addVal(tv) || fail("out of memory");
    }
    if (!assign(en, op, value, override, override ? GmOrigin::Override : GmOrigin::File))
        return false;
    if (exported)
        if (GmVar* v = vars_.findHere(en)) v->exported = true, v->unexported = false;
    return true;
}

// One assignment into the global table, with the command line's precedence.
bool Reader::assign(CxStr1p const& name, CxStr1p const& op, CxStr1p const& value, bool override,
                    GmOrigin origin) {
    GmVar* cur = vars_.findHere(name);
    if (cur && cur->origin == GmOrigin::CommandLine && !override && origin != GmOrigin::CommandLine)
        return true;
    if (cur && cur->origin == GmOrigin::Override && origin == GmOrigin::File) return true;
    bool defined = cur && cur->origin != GmOrigin::Undefined;
    if (op == "?=") {
        if (defined) return true;
        return vars_.set(name, value, GmFlavor::Recursive, origin) || fail("out of memory");
    }
    if (op == "+=") {
        if (!defined)
            return vars_.set(name, value, GmFlavor::Recursive, origin) || fail("out of memory");
        CxStr1p add(value);
        if (cur->flavor == GmFlavor::Simple && !expand(add, value)) return false;
        CxStr1p nv(cur->value);
        if (!nv.isEmpty() && !add.isEmpty()) nv += ' ';
        nv += add;
        GmFlavor f = cur->flavor;
        GmOrigin o = origin == GmOrigin::File ? cur->origin : origin;
        if (o == GmOrigin::Default || o == GmOrigin::Environment) o = origin;
        return vars_.set(name, nv, f, o) || fail("out of memory");
    }
    if (op == "=")
        return vars_.set(name, value, GmFlavor::Recursive, origin) || fail("out of memory");
    if (op == "!=") {
        CxStr1p cmd, out;
        if (!expand(cmd, value)) return false;
        int status = 0;
        if (hooks_.shell) hooks_.shell(out, status, cmd);
        while (!out.isEmpty() && (out.last() == '\n' || out.last() == '\r'))
            out.forceLen(out.length() - 1);
        for (long long i = 0; i < out.length(); ++i)
            if (out.c_str()[i] == '\n' || out.c_str()[i] == '\r') out.at(i) = ' ';
        GmVar* v = vars_.set(name, out, GmFlavor::Recursive, origin);
        if (v) {
            // "!=" gives a recursive variable whose value holds no references.
            v->value.clear();
            for (long long i = 0; i < out.length(); ++i) {
                if (out.c_str()[i] == '$') v->value += '$';
                v->value += out.c_str()[i];
            }
        }
        return v || fail("out of memory");
    }
    // := ::= :::= expand now.
    CxStr1p ev;
    if (!expand(ev, value)) return false;
    return vars_.set(name, ev, GmFlavor::Simple, origin) || fail("out of memory");
}

bool Reader::define(CxStr1p const& rest, bool override, bool exported, CxStr1p const& text,
                    long long& pos) {
    CxStr1p name = rest, op("=");
    CxStr1p t = trim(rest);
    for (char const* o : {":::=", "::=", ":=", "+=", "?=", "!=", "="}) {
        CxStr1p os(o);
        if (strHasEnd(t, os)) {
            op = os;
            name = trim(sub(t, 0, t.length() - os.length()));
            break;
        }
    }
    CxStr1p en;
    if (!expand(en, name)) return false;
    en = trim(en);
    CxStr1p body, phys;
    int depth = 1;
    bool first = true;
    long long start = line_;
    while (nextPhys(phys, pos, text)) {
        ++line_;
        CxStr1p w, r, tp = strTrimL(phys, kWhite);
        firstWord(w, r, tp);
        if (w == "define") ++depth;
        if (w == "endef" && --depth == 0) {
            if (!active()) return true;
            if (!assign(en, op, body, override, override ? GmOrigin::Override : GmOrigin::File))
                return false;
            if (exported)
                if (GmVar* v = vars_.findHere(en)) v->exported = true;
            return true;
        }
        if (!first) body += '\n';
        body += phys;
        first = false;
    }
    line_ = start;
    return fail("missing 'endef', unterminated 'define'");
}

GmTarget* Reader::target(CxStr1p const& name) {
    GmTarget* t = targets_.find(name);
    if (t) return t;
    GmTarget fresh;
    fresh.order = order_.size();
    if (!targets_.addKV(name, fresh) || !order_.addVal(name)) return nullptr;
    return targets_.find(name);
}

bool Reader::rule(CxStr1p const& line) {
    long long colon = findTop(line, ":");
    if (colon < 0) {
        CxStr1p e;
        if (!expand(e, line)) return false;
        if (trim(e).isEmpty()) return true;
        return fail("missing separator");
    }
    CxStr1p left = sub(line, 0, colon), right;
    long long after = colon + 1;
    bool dbl = line.getAt(after) == ':';
    if (dbl) ++after;
    right = sub(line, after);
    CxStr1p recipe;
    bool hasRecipe = false;
    long long semi = findTop(right, ";");
    if (semi >= 0) {
        recipe = strTrimL(sub(right, semi + 1), kWhite);
        right = sub(right, 0, semi);
        hasRecipe = true;
    }
    CxStr1p names;
    if (!expand(names, left)) return false;
    Vect1p_Vobj<CxStr1p> tl;
    addWords(tl, names);
    if (tl.isEmpty()) return fail("missing target pattern");
    anyRule_ = true;
    cur_.clear();
    // "goal: VAR = value" sets a target-specific variable.
    {
        CxStr1p body = trim(right), w, r;
        bool override = false, exported = false;
        for (;;) {
            firstWord(w, r, body);
            if (w == "override" && !r.isEmpty())
                override = true;
            else if (w == "export" && !r.isEmpty())
                exported = true;
            else
                break;
            body = r;
        }
        CxStr1p n, o, v;
        if (splitAssign(n, o, v, body) && semi < 0) {
            for (CxStr1p const& t : tl) {
                GmTarget* g = target(t);
                bool h = false;
                if (!g || !assignment(body, h, override, exported, g)) return false;
            }
            return true;
        }
    }
    if (findTop(right, ":") >= 0)
        return fail("static pattern rules are not read yet by this dialect");
    CxStr1p deps;
    if (!expand(deps, right)) return false;
    {
        // The order-only part starts at a lone '|' word.
        Vect1p_Vobj<CxStr1p> words;
        addWords(words, deps);
        Vect1p_Vobj<CxStr1p> normal, order;
        bool oo = false;
        for (CxStr1p const& w : words) {
            if (w == "|") {
                oo = true;
                continue;
            }
            if (!(oo ? order : normal).addVal(w)) return fail("out of memory");
        }
        for (CxStr1p const& t : tl) {
            if (strHas(t, '%')) return fail("pattern rules are not read yet by this dialect");
            if (t == ".PHONY") {
                CxStr1p list;
                for (CxStr1p const& p : normal)
                    strJoinSPC(list, p);
                if (hooks_.addPhony && !list.isEmpty() && !hooks_.addPhony(list))
                    return fail("out of memory");
                continue;
            }
            // The other special targets change how goals are built, which is not read yet.
            if (isSpecialTarget(t)) {
                logPrint(1, "%s: '%s' is not read yet by this dialect; ignored", where().c_str(),
                         t.c_str());
                continue;
            }
            GmTarget* g = target(t);
            if (!g) return fail("out of memory");
            for (CxStr1p const& p : normal)
                if (!g->prereqs.addVal(p)) return fail("out of memory");
            for (CxStr1p const& p : order)
                if (!g->orderOnly.addVal(p)) return fail("out of memory");
            if (firstGoal_.isEmpty() && (t.getAt(0) != '.' || strHas(t, '/'))) firstGoal_ = t;
            if (hasRecipe && g->hasRecipe && !dbl) {
                // A later recipe replaces the earlier one.
                logPrint(1, "%s: warning: overriding recipe for target '%s'", where().c_str(),
                         t.c_str());
                g->recipe.clear();
                g->recipeWhere.clear();
            }
            if (!cur_.addVal(t)) return fail("out of memory");
            if (hasRecipe) {
                if (!g->recipe.addVal(recipe) || !g->recipeWhere.addVal(where()))
                    return fail("out of memory");
                g->hasRecipe = true;
            }
        }
    }
    return true;
}

} // namespace

bool gmReadMakefile(GmReadIn const& in, GmHooks const& hooks, Vect1p_Vobj<CxStr1p>& goals,
                    CxStr1p& err) {
    err.clear();
    Reader r(in, hooks, err);
    return r.run(goals);
}

namespace {

bool Reader::run(Vect1p_Vobj<CxStr1p>& goals) {
    ctx_.global = &vars_;
    ctx_.shell = hooks_.shell;
    ctx_.eval = evalHook;
    ctx_.reader = this;
    file_ = in_.file;
    if (!setupVars(goals)) return false;
    if (!readText(in_.text)) return false;
    if (!conds_.isEmpty()) return fail("missing 'endif'");
    return finish(goals);
}

bool Reader::setupVars(Vect1p_Vobj<CxStr1p>& goals) {
    // The environment first, then the defaults that it does not set.
    for (char** e = environ; e && *e; ++e) {
        char const* eq = strchr(*e, '=');
        if (!eq || eq == *e) continue;
        CxStr1p name(*e, eq - *e);
        if (strIsEqAlt(name, "MAKEFLAGS|MFLAGS|MAKELEVEL|SHELL|MAKE|MAKEFILES")) continue;
        vars_.set(name, CxStr1p(eq + 1), GmFlavor::Recursive, GmOrigin::Environment);
    }
    struct Def {
        char const *name, *value;
    } const defs[] = {{"CC", "cc"},
                      {"CXX", "g++"},
                      {"CPP", "$(CC) -E"},
                      {"AR", "ar"},
                      {"ARFLAGS", "rv"},
                      {"AS", "as"},
                      {"LD", "ld"},
                      {"RM", "rm -f"},
                      {"FC", "f77"},
                      {"LEX", "lex"},
                      {"YACC", "yacc"},
                      {"MAKEINFO", "makeinfo"},
                      {"TEX", "tex"},
                      {"SHELL", "/bin/sh"},
                      {".RECIPEPREFIX", ""},
                      {"OUTPUT_OPTION", "-o $@"},
                      {"COMPILE.c", "$(CC) $(CFLAGS) $(CPPFLAGS) $(TARGET_ARCH) -c"},
                      {"LINK.c", "$(CC) $(CFLAGS) $(CPPFLAGS) $(LDFLAGS) $(TARGET_ARCH)"},
                      {"COMPILE.cc", "$(CXX) $(CXXFLAGS) $(CPPFLAGS) $(TARGET_ARCH) -c"},
                      {"LINK.o", "$(CC) $(LDFLAGS) $(TARGET_ARCH)"}};
    for (Def const& d : defs) {
        GmVar* v = vars_.findHere(d.name);
        if (v && d.name[0] != 'S') continue;
        if (!vars_.set(d.name, d.value, GmFlavor::Recursive, GmOrigin::Default)) return false;
    }
    vars_.set("MAKE", in_.makeCmd, GmFlavor::Recursive, GmOrigin::Default);
    vars_.set("CURDIR", in_.curDir, GmFlavor::Simple, GmOrigin::File);
    vars_.set("MAKEFILE_LIST", in_.file, GmFlavor::Simple, GmOrigin::File);
    vars_.set("MAKEFLAGS", "", GmFlavor::Recursive, GmOrigin::File);
    CxStr1p cmdGoals, flags;
    for (CxStr1p const& a : in_.args) {
        CxStr1p name, op, value;
        if (splitAssign(name, op, value, a) && !strHas(name, ' ')) {
            // The command line wins over the file; it also reaches recipes and nested runs.
            if (!assign(name, op, value, true, GmOrigin::CommandLine)) return false;
            if (GmVar* v = vars_.findHere(name)) v->exported = true;
            strJoinSPC(flags, a);
            continue;
        }
        if (!goals.addVal(a)) return false;
        strJoinSPC(cmdGoals, a);
    }
    if (!flags.isEmpty()) {
        CxStr1p mf(" -- ");
        mf += flags;
        vars_.set("MAKEFLAGS", mf, GmFlavor::Recursive, GmOrigin::File);
    }
    vars_.set("MAKECMDGOALS", cmdGoals, GmFlavor::Recursive, GmOrigin::File);
    return true;
}

// GNU make's $* for an explicit rule: the name without a known suffix.
CxStr1p explicitStem(CxStr1p const& name) {
    static char const* const suffixes[] = {
        ".out",  ".a",      ".ln",  ".o",   ".c",   ".cc",   ".C",   ".cpp", ".p",
        ".f",    ".F",      ".m",   ".r",   ".y",   ".l",    ".ym",  ".yl",  ".s",
        ".S",    ".mod",    ".sym", ".def", ".h",   ".info", ".dvi", ".tex", ".texinfo",
        ".texi", ".txinfo", ".w",   ".ch",  ".web", ".sh",   ".elc", ".el"};
    for (char const* s : suffixes) {
        CxStr1p sx(s);
        if (strHasEnd(name, sx) && name.length() > sx.length())
            return sub(name, 0, name.length() - sx.length());
    }
    return CxStr1p();
}

bool Reader::scopeFor(GmVars& scope, GmTarget const& t, CxStr1p const& name) {
    for (GmTargetVar const& tv : t.vars) {
        GmVar* cur = scope.findHere(tv.name);
        GmVar* outer = scope.parent ? scope.parent->find(tv.name) : nullptr;
        if (outer && outer->origin == GmOrigin::CommandLine && !tv.override) continue;
        CxStr1p value(tv.value);
        GmFlavor flavor = GmFlavor::Recursive;
        ctx_.scope = &scope;
        ctx_.autos = nullptr;
        if (tv.op == "+=") {
            GmVar* base = cur ? cur : outer;
            if (base) {
                CxStr1p add(tv.value);
                if (base->flavor == GmFlavor::Simple && !gmExpand(add, tv.value, ctx_))
                    return failCtx();
                value = base->value;
                if (!value.isEmpty() && !add.isEmpty()) value += ' ';
                value += add;
                flavor = base->flavor;
            }
        } else if (tv.op == "?=") {
            if (cur || outer) continue;
        } else if (tv.op != "=") {
            if (!gmExpand(value, tv.value, ctx_)) return failCtx();
            flavor = GmFlavor::Simple;
        }
        GmVar* v =
            scope.set(tv.name, value, flavor, tv.override ? GmOrigin::Override : GmOrigin::File);
        if (!v) return fail("out of memory");
        v->exported = tv.exported;
    }
    (void)name;
    return true;
}

bool Reader::emitGoal(CxStr1p const& name, GmTarget& t, GmVars const* inherited) {
    if (t.seen) return true;
    t.seen = true;
    GmVars scope;
    scope.parent = inherited ? inherited : &vars_;
    if (!scopeFor(scope, t, name)) return false;
    // Prerequisites first, so they inherit this goal's variables.
    for (Vect1p_Vobj<CxStr1p> const* list : {&t.prereqs, &t.orderOnly})
        for (CxStr1p const& p : *list)
            if (GmTarget* pt = targets_.find(p))
                if (!emitGoal(p, *pt, &scope)) return false;

    CxStr1p deps;
    for (CxStr1p const& p : t.prereqs)
        strJoinSPC(deps, p);
    if (!t.orderOnly.isEmpty()) {
        strJoinSPC(deps, "|");
        for (CxStr1p const& p : t.orderOnly)
            strJoinSPC(deps, p);
    }
    if (hooks_.addDeps && !hooks_.addDeps(name, deps)) return fail("out of memory");

    GmAuto a;
    a.at = name;
    long long targetTime = fsaTime(name);
    for (CxStr1p const& p : t.prereqs) {
        if (a.first.isEmpty()) a.first = p;
        strJoinSPC(a.allDup, p);
    }
    Set_Kobj<CxStr1p> once;
    for (CxStr1p const& p : t.prereqs) {
        if (once.findNode(p)) continue;
        once.addK(p);
        strJoinSPC(a.all, p);
        long long pt = fsaTime(p);
        if (targetTime <= 0 || pt <= 0 || pt > targetTime || targets_.find(p))
            strJoinSPC(a.newer, p);
    }
    for (CxStr1p const& p : t.orderOnly)
        strJoinSPC(a.orderOnly, p);
    a.stem = explicitStem(name);

    GmExpandCtx ctx = ctx_;
    ctx.scope = &scope;
    ctx.autos = &a;
    for (long long i = 0; i < t.recipe.size(); ++i) {
        ctx.where = t.recipeWhere[i];
        CxStr1p raw = t.recipe[i], text;
        // Backslash-newline goes to the interpreter as one line.
        CxStr1p joined;
        for (long long k = 0; k < raw.length(); ++k) {
            if (raw.c_str()[k] == '\\' && raw.c_str()[k + 1] == '\n') {
                ++k;
                continue;
            }
            joined += raw.c_str()[k];
        }
        if (!gmExpand(text, joined, ctx)) {
            err_ = ctx.where;
            err_ += ": *** ";
            err_ += ctx.err;
            err_ += ".  Stop.";
            return false;
        }
        CxStr1p one;
        long long pos = 0;
        while (strTokenOneNL(one, pos, text)) {
            // '+' means "run even with -n": here it only has to go.
            CxStr1p lineOut = strTrimL(one, kWhite), marks;
            while (!lineOut.isEmpty() && strchr("@-+", lineOut.getAt(0))) {
                if (lineOut.getAt(0) != '+') marks += lineOut.getAt(0);
                lineOut = strTrimL(sub(lineOut, 1), kWhite);
            }
            if (lineOut.isEmpty()) continue;
            marks += lineOut;
            if (hooks_.addCmd && !hooks_.addCmd(name, marks)) return fail("out of memory");
        }
    }
    return true;
}

bool Reader::finish(Vect1p_Vobj<CxStr1p>& goals) {
    GmVar* dg = vars_.findHere(".DEFAULT_GOAL");
    CxStr1p def = firstGoal_;
    if (dg) {
        CxStr1p e;
        ctx_.scope = nullptr;
        if (!gmExpandVar(e, ".DEFAULT_GOAL", ctx_)) return failCtx();
        e = trim(e);
        if (!e.isEmpty()) def = e;
    }
    if (!def.isEmpty() && hooks_.setDefault && !hooks_.setDefault(def))
        return fail("out of memory");
    if (goals.isEmpty() && def.isEmpty()) {
        err_ = "*** No targets.  Stop.";
        return false;
    }
    // Goals reached from the requested ones first, so prerequisites inherit
    // their variables; then every other goal.
    Vect1p_Vobj<CxStr1p> roots(goals);
    if (roots.isEmpty()) roots.addVal(def);
    for (CxStr1p const& r : roots)
        if (GmTarget* t = targets_.find(r))
            if (!emitGoal(r, *t, nullptr)) return false;
    for (CxStr1p const& n : order_)
        if (GmTarget* t = targets_.find(n))
            if (!emitGoal(n, *t, nullptr)) return false;
    // The environment of the recipes.
    if (hooks_.setEnv) {
        ctx_.scope = nullptr;
        ctx_.autos = nullptr;
        for (auto& n : vars_.map) {
            GmVar& v = n.val;
            if (v.unexported) {
                hooks_.setEnv(n.key, nullptr);
                continue;
            }
            if (!v.exported || v.origin == GmOrigin::Undefined) continue;
            CxStr1p value;
            if (!gmExpandVar(value, n.key, ctx_)) return failCtx();
            hooks_.setEnv(n.key, &value);
        }
    }
    return true;
}

} // namespace
