#include "gnu/greader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "app/log.h"
#include "base/byteset.h"
#include "base/fs.h"
#include "base/textedit.h"
#include "base/tokens.h"
#include "gnu/gfuncs.h"

extern char** environ;

namespace {

char const* const kWhite = " \t";
// Each level of an include or $(eval) reads its text with a few KB of stack.
int const kMaxNest = 100;

// A target-specific assignment, applied when the goal's recipe is expanded.
struct GmTargetVar {
    CxStr1p name, op, value;
    bool override = false, exported = false;
};

// One goal as read. Recipe lines and target-specific values live in the
// reader's lists, linked per goal, so a goal of a plain rule stays small.
struct GmTarget {
    CxStr1p prereqs;   // words as written over all rules, duplicates kept, one blank apart
    CxStr1p orderOnly; // the same after '|'
    long long recipeHead = -1, recipeTail = -1;
    long long varsHead = -1, varsTail = -1;
    bool hasRecipe = false;
    bool seen = false;           // scope inheritance walk
    bool searched = false;       // implicit rules looked at
    bool chain = false;          // made a goal by an implicit rule's prerequisite
    bool mentioned = false;      // named by a rule of the file
    bool force = false;          // one of grouped targets is missing: the recipe runs
    GmTarget* via = nullptr;     // the goal it was first reached from: its variables hold here too
    GmTarget* dblOf = nullptr;   // a "::" rule of this target
    long long dblRules = 0;      // its "::" rules so far
    CxStr1p group;               // the other targets of grouped targets, on the first
    bool groupHolder = false;    // runs the recipe of several target patterns
    long long implicitCount = 0; // leading prerequisite words that an implicit rule gave
    CxStr1p const* name = nullptr;
    CxStr1p stem; // $* of a pattern or static pattern rule
};

struct GmRecipeLine {
    CxStr1p text;   // as written, continuations kept
    long long line; // where it stands
    long long file; // index into the reader's files
    long long next; // the goal's next line; -1 at the end
};

struct GmVarLink {
    GmTargetVar v;
    long long next;
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

// The suffixes GNU make knows without a .SUFFIXES rule.
char const* const kSuffixes[] = {".out",    ".a",  ".ln",   ".o",   ".c",   ".cc",      ".C",
                                 ".cpp",    ".p",  ".f",    ".F",   ".m",   ".r",       ".y",
                                 ".l",      ".ym", ".yl",   ".s",   ".S",   ".mod",     ".sym",
                                 ".def",    ".h",  ".info", ".dvi", ".tex", ".texinfo", ".texi",
                                 ".txinfo", ".w",  ".ch",   ".web", ".sh",  ".elc",     ".el"};

bool knownSuffix(StrVect const& list, char const* d, long long n) {
    for (CxStr1p const& sx : list)
        if (sx.length() == n && memcmp(sx.c_str(), d, (size_t)n) == 0) return true;
    return false;
}

// Whether name ends in a known suffix (then no match-anything rule makes it).
bool hasKnownSuffix(StrVect const& list, CxStr1p const& name) {
    // StrVect start with '.': a name without one after its last '/' has none.
    bool dot = false;
    for (long long i = name.length() - 1; i >= 0 && name.c_str()[i] != '/' && !dot; --i)
        dot = name.c_str()[i] == '.';
    if (!dot) return false;
    for (CxStr1p const& sx : list) {
        long long n = sx.length();
        if (name.length() > n &&
            memcmp(name.c_str() + name.length() - n, sx.c_str(), (size_t)n) == 0)
            return true;
    }
    return false;
}

// ".c.o" -> from ".c", to ".o"; ".c" -> from ".c", to "".
bool suffixRule(StrVect const& list, CxStr1p& from, CxStr1p& to, CxStr1p const& t) {
    char const* d = t.c_str();
    long long n = t.length();
    if (n < 2 || d[0] != '.' || strHas(t, '/')) return false;
    if (knownSuffix(list, d, n)) {
        from = t;
        to.clear();
        return true;
    }
    for (long long k = 2; k < n; ++k)
        if (d[k] == '.' && knownSuffix(list, d, k) && knownSuffix(list, d + k, n - k)) {
            from.setCstr(d, k);
            to.setCstr(d + k, n - k);
            return true;
        }
    return false;
}

// The stem of name under pattern (one '%'), at least one character; a pattern
// without '/' matches the file part and the stem keeps the directory.
bool stemOf(CxStr1p& stem, CxStr1p const& pattern, CxStr1p const& name) {
    long long pc = -1;
    if (!pattern.findIndex(pc, '%')) return false;
    long long dirLen = 0;
    if (!strHas(pattern, '/'))
        for (long long i = 0; i < name.length(); ++i)
            if (name.c_str()[i] == '/') dirLen = i + 1;
    char const* f = name.c_str() + dirLen;
    long long fn = name.length() - dirLen, suf = pattern.length() - pc - 1;
    if (fn <= pc + suf || memcmp(f, pattern.c_str(), (size_t)pc) != 0 ||
        memcmp(f + fn - suf, pattern.c_str() + pc + 1, (size_t)suf) != 0)
        return false;
    stem.setCstr(name.c_str(), dirLen);
    stem.addCstr(f + pc, fn - pc - suf);
    return true;
}

// Word w (n bytes) with its '%' replaced by stem, added to out. With
// keepDir, a stem's directory goes in front of a word without '/' (pattern
// rules); a static pattern rule's stem is used as it is.
void addStemmed(CxStr1p& out, char const* w, long long n, CxStr1p const& stem, bool keepDir) {
    char const* pct = (char const*)memchr(w, '%', (size_t)n);
    if (!pct) {
        out.addCstr(w, n);
        return;
    }
    long long pc = pct - w, dirLen = 0;
    if (keepDir && !memchr(w, '/', (size_t)n))
        for (long long i = 0; i < stem.length(); ++i)
            if (stem.c_str()[i] == '/') dirLen = i + 1;
    out.addCstr(stem.c_str(), dirLen);
    out.addCstr(w, pc);
    out.addCstr(stem.c_str() + dirLen, stem.length() - dirLen);
    out.addCstr(pct + 1, n - pc - 1);
}

// Every word of pats so.
CxStr1p substStem(CxStr1p const& pats, CxStr1p const& stem, bool keepDir = true) {
    CxStr1p out;
    long long s0, n0, pos = 0;
    while (cstrToken(s0, n0, pos, pats.c_str(), pats.length(), " \t", "")) {
        if (!out.isEmpty()) out += ' ';
        addStemmed(out, pats.c_str() + s0, n0, stem, keepDir);
    }
    return out;
}

bool isWhiteC(char c) {
    return c == ' ' || c == '\t';
}

// Takes the leading '@', '-' and '+' marks (and blanks) off line into marks,
// once each.
void splitMarks(CxStr1p& marks, CxStr1p& line) {
    long long i = 0;
    char const* d = line.c_str();
    while (i < line.length() && (strchr("@-+", d[i]) || isWhiteC(d[i]))) {
        if (!isWhiteC(d[i]) && !strHas(marks, d[i])) marks += d[i];
        ++i;
    }
    line.delSpan(0, i);
}

// Index of the first c at reference depth 0 from 'from'; -1 when none.
long long findTop(CxStr1p const& s, char const* chars, long long from = 0) {
    int depth = 0;
    char const* d = s.c_str();
    ByteSet set(chars);
    for (long long i = from; i < s.length(); ++i) {
        char c = d[i];
        if (c == '$' && d[i + 1] == '$') { // an escaped '$' starts no reference
            ++i;
            continue;
        }
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
        if (set.has(c)) return i;
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

bool addWords(StrVect& out, CxStr1p const& text) {
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

unsigned long long hashOf(char const* d, long long n);
bool patternMatches(CxStr1p const& pattern, CxStr1p const& name);

// A set of names in expected constant time: one directory's entries.
class NameSet {
  public:
    bool add(char const* d, long long n) {
        if (2 * (count_ + 1) > slots_.size() && !grow()) return false;
        long long h = (long long)(hashOf(d, n) & (unsigned long long)(slots_.size() - 1));
        while (!slots_[h].isEmpty()) {
            if (slots_[h].length() == n && memcmp(slots_[h].c_str(), d, (size_t)n) == 0)
                return true;
            h = (h + 1) & (slots_.size() - 1);
        }
        ++count_;
        return slots_[h].setCstr(d, n);
    }
    bool has(char const* d, long long n) const {
        if (slots_.isEmpty()) return false;
        long long h = (long long)(hashOf(d, n) & (unsigned long long)(slots_.size() - 1));
        for (; !slots_[h].isEmpty(); h = (h + 1) & (slots_.size() - 1))
            if (slots_[h].length() == n && memcmp(slots_[h].c_str(), d, (size_t)n) == 0)
                return true;
        return false;
    }

  private:
    StrVect slots_;
    long long count_ = 0;
    bool grow() {
        StrVect old;
        old.swap(slots_);
        long long cap = old.size() < 16 ? 16 : 2 * old.size();
        if (!slots_.reserve(cap)) return false;
        for (long long i = 0; i < cap; ++i)
            slots_.addVal(CxStr1p());
        // The names move into their new slots; nothing is copied.
        long long mask = cap - 1;
        for (CxStr1p& k : old) {
            if (k.isEmpty()) continue;
            long long h = (long long)(hashOf(k.c_str(), k.length()) & (unsigned long long)mask);
            while (!slots_[h].isEmpty())
                h = (h + 1) & mask;
            slots_[h].swap(k);
        }
        return true;
    }
};

class Reader : public GmRecipeSource {
  public:
    Reader(GmReadIn const& in, GmHooks const& hooks, GmReadOut* out)
        : in_(in), hooks_(hooks), out_(out ? out : &ownOut_) {}

    bool run(StrVect& goals);
    // Kept for its recipes: what an $(eval) in one reports goes nowhere.
    void detach() { out_ = &ownOut_; }
    bool expand(CxStr1p const& goal, CxStr1p& lines, CxStr1p& err) override;
    CxStr1p err_;

  private:
    // Copies: a reader kept for its recipes outlives its caller's records.
    GmReadIn in_;
    GmHooks hooks_;
    GmReadOut ownOut_;
    GmReadOut* out_;
    GmVars vars_;
    Map_Kobj2Vobj<CxStr1p, GmTarget> targets_;
    // Targets in the order they first appeared; names are the map's keys.
    struct Named {
        CxStr1p const* name;
        GmTarget* t;
    };
    Vect1p_Vobj<Named> order_;
    Vect1p_Vobj<GmTarget*> hash_; // name -> target once reading is done
    long long hashMask_ = 0, hashCount_ = 0;
    CxStr1p left_, right_, names_, deps_, tok_; // scratch of rule lines
    CxStr1p firstGoal_;
    Vect1p_Vobj<Cond> conds_;
    struct Cur {
        Named n;
        bool fresh; // no recipe line of this rule yet
    };
    Vect1p_Vobj<Cur> cur_; // the targets recipe lines belong to
    bool anyRule_ = false;
    CxStr1p file_;
    long long line_ = 0;
    StrVect files_;                        // of recipes, for their messages
    char pre_ = '\t';                      // the recipe prefix
    bool exportAll_ = false;               // "export" alone
    Vect1p_Vobj<GmTargetVar> patternVars_; // pattern-specific assignments, in file order
    StrVect patterns_;                     // the pattern of each
    Vect1p_Vobj<GmRecipeLine> lines_;      // every goal's recipe lines
    Vect1p_Vobj<GmVarLink> tvars_;         // every goal's own values
    // Pattern rules in search order (the file's, then the built-in ones);
    // each keeps its prerequisites and recipe in a target of its own.
    struct Pattern {
        CxStr1p target; // one '%'
        GmTarget* rule;
        bool terminal;         // "::": its prerequisites must exist
        long long pc;          // where the '%' is
        bool slash;            // the pattern names a directory
        bool anything;         // "%" alone
        long long leader = -1; // the first target pattern of its rule when not this one
    };
    Vect1p_Vobj<Pattern> patternRules_;
    StrSet phony_;
    // The entries of every directory an implicit rule looked into, read once:
    // a rule search asks for many names that do not exist.
    StrNumMap dirIndex_;
    Vect1p_Vobj<NameSet*> dirs_;
    CxStr1p lastDir_;
    NameSet* lastSet_ = nullptr;
    // Every goal and every file of a listed directory without its last
    // suffix: a match-anything rule can only make a name found here.
    NameSet stems_;
    CxStr1p stemBuf_[4], nameBuf_[4]; // per search depth (at most 3)
    bool suffixes_ = true;            // ".SUFFIXES:" not given
    StrVect suffixList_;
    StrVect specificEnds_; // distinct ends of the specific target patterns
    // Special targets' lists; "all" where the target has no prerequisites.
    StrSet secondary_, intermediate_, silent_, ignore_;
    StrVect precious_; // names and patterns
    bool secondaryAll_ = false, silentAll_ = false, ignoreAll_ = false;
    bool oneShell_ = false, posix_ = false;
    GmTarget* default_ = nullptr; // .DEFAULT
    // vpath PATTERN DIRS, in file order.
    struct VPath {
        CxStr1p pattern;
        StrVect dirs;
    };
    Vect1p_Vobj<VPath> vpaths_;
    StrVect vpathVar_; // VPATH's directories, read when reading ends
    GmExpandCtx ctx_;
    int nest_ = 0; // includes and $(eval) texts being read, one inside the other

    void endRule() { cur_.clear(); }
    bool active() const { return conds_.isEmpty() || conds_[conds_.size() - 1].active; }
    CxStr1p where() const { return whereAt(file_, line_); }
    static CxStr1p whereAt(CxStr1p const& file, long long line) {
        CxStr1p w(file);
        char n[32];
        snprintf(n, sizeof n, ":%lld", line);
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
        if (!strHas(text, '$')) return out.setObj(text);
        ctx_.where = where();
        ctx_.scope = nullptr;
        ctx_.autos = nullptr;
        return gmExpand(out, text, ctx_) || failCtx();
    }

    bool readText(CxStr1p const& text);
    bool directive(CxStr1p const& line, bool& handled, CxStr1p const& text, long long& pos);
    bool conditional(CxStr1p const& word, CxStr1p const& rest, bool& handled);
    bool exportNames(CxStr1p const& text, bool ex);
    bool evalCond(bool& truth, CxStr1p const& word, CxStr1p const& rest);
    // capture: a target-specific value, read into it instead of assigned.
    bool assignment(CxStr1p const& line, bool& handled, bool override, bool exported,
                    GmTargetVar* capture);
    bool assign(CxStr1p const& name, CxStr1p const& op, CxStr1p const& value, bool override,
                GmOrigin origin);
    bool assignDone(CxStr1p const& name);
    bool define(CxStr1p const& rest, bool override, bool exported, CxStr1p const& text,
                long long& pos);
    bool rule(CxStr1p const& line, CxStr1p const& raw);
    GmTarget* target(CxStr1p const& name);
    bool buildHash();
    GmTarget* lookup(char const* d, long long n);
    bool overrideRecipe(GmTarget& g, CxStr1p const& name);
    bool addRecipeLine(GmTarget& g, CxStr1p const& line);
    bool finish(StrVect& goals);
    bool readShell(bool& posix);
    bool setupVars(StrVect& goals);
    bool scopeFor(GmVars& scope, GmTarget const& t, CxStr1p const& name);
    bool applyVar(GmVars& scope, GmTargetVar const& tv);
    bool emitGoal(CxStr1p const& name, GmTarget& t, GmVars const* inherited, GmTarget* via);
    bool recipeText(CxStr1p& out, CxStr1p const& name, GmTarget const& t, GmVars const& scope);
    bool addPattern(CxStr1p const& pattern, CxStr1p const& normal, CxStr1p const& order,
                    bool terminal, bool hasRecipe, CxStr1p const& recipe);
    bool addBuiltins();
    bool staticRule(CxStr1p const& targets, CxStr1p const& rest, bool hasRecipe,
                    CxStr1p const& recipe);
    bool findImplicit(Pattern const*& found, CxStr1p& stem, CxStr1p const& name, int depth);
    bool canMake(CxStr1p const& name, int depth);
    bool applyImplicit(GmTarget& t, CxStr1p const& name);
    bool hashAdd(GmTarget* t);
    bool exists(CxStr1p const& name);
    bool addStem(CxStr1p const& name);
    bool listed(CxStr1p const& name);
    bool special(CxStr1p const& t, CxStr1p const& normal);
    bool include(CxStr1p const& word, CxStr1p const& rest);
    bool readFile(CxStr1p const& f, CxStr1p const& content);
    bool vpathDirective(CxStr1p const& rest);
    bool vpathFind(CxStr1p& found, CxStr1p const& name);
    bool precious(CxStr1p const& name) const;
    bool intermediate(GmTarget const& t) const;
    bool keepsMissing(GmTarget& pt, CxStr1p const& pname, CxStr1p const& parent);
    bool newerThanPrereqs(GmTarget& pt, CxStr1p const& pname, long long t);
    bool prereqGoal(GmTarget*& pt, CxStr1p& name, bool fromRule);
    bool goalMarks(CxStr1p const& name, GmTarget const& t, bool lazy);
    bool recipeOut(CxStr1p const& name, CxStr1p& marks, CxStr1p const& one, CxStr1p& shell);

  public:
    ~Reader() {
        for (NameSet* d : dirs_)
            delete d;
    }

  private:
    bool autosFor(GmAuto& a, CxStr1p const& name, GmTarget const& t, bool times);

    friend bool evalHook(void* reader, CxStr1p const& text, GmExpandCtx& ctx);
};

bool evalHook(void* reader, CxStr1p const& text, GmExpandCtx&) {
    Reader& r = *static_cast<Reader*>(reader);
    if (r.nest_ >= kMaxNest) {
        r.ctx_.err = "$(eval) nested too deeply (endless recursion?)";
        return false;
    }
    // The text is read with this context; what its lines set must not leak
    // into the expansion that called $(eval).
    long long saved = r.line_;
    GmVars const* scope = r.ctx_.scope;
    GmAuto const* autos = r.ctx_.autos;
    CxStr1p where(r.ctx_.where);
    ++r.nest_;
    bool ok = r.readText(text);
    --r.nest_;
    r.line_ = saved;
    r.ctx_.scope = scope;
    r.ctx_.autos = autos;
    r.ctx_.where.setMove(where);
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

// The text that a recursive expansion turns back into s.
CxStr1p dollarsDoubled(CxStr1p const& s) {
    CxStr1p out;
    for (long long i = 0; i < s.length(); ++i) {
        if (s.c_str()[i] == '$') out += '$';
        out += s.c_str()[i];
    }
    return out;
}

// Cuts the comment: the first '#' outside references, not escaped; "\#" is '#'.
void stripComment(CxStr1p& s) {
    if (!strHas(s, '#')) return;
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
        if (c == '$' && (d[i + 1] == '$' || d[i + 1] == '(' || d[i + 1] == '{')) {
            if (d[i + 1] != '$') ++depth;
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
        char pre = pre_;
        if (phys.getAt(0) == pre && !cur_.isEmpty()) {
            // A recipe line: kept as written, continuations included.
            line.setCstr(phys.c_str() + 1, phys.length() - 1);
            long long first = line_; // messages name the line a recipe line starts on
            while (continues(phys) && nextPhys(phys, pos, text)) {
                ++line_;
                line += '\n';
                line += phys.getAt(0) == pre ? sub(phys, 1) : phys;
            }
            if (!active()) continue;
            long long last = line_;
            line_ = first;
            for (Cur& c : cur_) {
                if (c.fresh) {
                    c.fresh = false;
                    if (!overrideRecipe(*c.n.t, *c.n.name)) return false;
                }
                if (!addRecipeLine(*c.n.t, line)) return false;
            }
            line_ = last;
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
        // A rule's recipe after ';' is the shell's text as written: kept
        // only when a comment cut could change it.
        CxStr1p raw;
        if (strHas(line, '#')) raw = line;
        stripComment(line);
        // An assignment keeps the blanks at the end of its value.
        CxStr1p t = strTrimL(line, kWhite);
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
        CxStr1p tr = strTrimR(t, kWhite);
        if (!directive(tr, handled, text, pos)) return false;
        if (!handled && active()) {
            if (!assignment(t, handled, false, false, nullptr)) return false;
            if (handled)
                endRule();
            else if (!rule(tr, raw))
                return false;
        }
        if (line_ < last) line_ = last;
    }
    return true;
}

// The words that can start a directive line.
bool mayBeDirective(CxStr1p const& line) {
    static char const* const kWords[] = {"ifeq",     "ifneq",    "ifdef",  "ifndef",   "else",
                                         "endif",    "define",   "endef",  "include",  "-include",
                                         "sinclude", "override", "export", "unexport", "undefine",
                                         "vpath",    "private",  "load",   "-load"};
    char const* d = line.c_str();
    long long n = 0;
    while (n < line.length() && !isWhiteC(d[n]))
        ++n;
    for (char const* w : kWords)
        if ((long long)strlen(w) == n && memcmp(w, d, (size_t)n) == 0) return true;
    return false;
}

bool Reader::directive(CxStr1p const& line, bool& handled, CxStr1p const& text, long long& pos) {
    handled = false;
    if (!mayBeDirective(line)) return true;
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
        } else if (word == "private" && !rest.isEmpty()) {
            logPrint(1, "%s: 'private' is not read yet by this dialect; the value is inherited",
                     where().c_str());
        } else {
            break;
        }
        body = rest;
    }
    if (word == "define") {
        handled = true;
        endRule();
        return define(rest, override, exported, text, pos);
    }
    if (override || exported) {
        bool as = false;
        if (!assignment(body, as, override, exported, nullptr)) return false;
        if (as) {
            handled = true;
            endRule();
            return true;
        }
        if (override) return fail("missing separator");
        handled = true;
        return exportNames(body, true); // "export a b"
    }
    if (word == "export" || word == "unexport") {
        handled = true;
        endRule();
        return exportNames(rest, word == "export");
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
        endRule();
        return include(word, rest);
    }
    if (word == "vpath") {
        handled = true;
        return vpathDirective(rest);
    }
    if ((word == "load" || word == "-load") && !rest.isEmpty())
        return fail("'load' is not read by this dialect (no plug-ins are loaded)");
    return true;
}

// Every file named is read in turn; one that is missing is remembered, to be
// remade (or reported, for "include") once the whole Makefile is read.
bool Reader::include(CxStr1p const& word, CxStr1p const& rest) {
    CxStr1p names;
    if (!expand(names, rest)) return false;
    StrVect list;
    if (!addWords(list, names)) return fail("out of memory");
    // Names with wildcards are the files they match, sorted; none, no file.
    StrVect files;
    for (CxStr1p const& f : list) {
        bool glob = false;
        for (long long i = 0; i < f.length(); ++i)
            glob = glob || strchr("*?[", f.c_str()[i]);
        CxStr1p found;
        if (glob ? !gmGlobAdd(found, gmSpanOf(f)) || !addWords(files, found) : !files.addVal(f))
            return fail("out of memory");
    }
    for (CxStr1p const& f : files) {
        GmInclude inc;
        inc.name = f;
        inc.where = where();
        inc.required = word == "include";
        bool found = fsaIsFile(f);
        if (!found && f.getAt(0) != '/')
            for (CxStr1p const& d : in_.includeDirs) {
                CxStr1p p(d);
                if (p.last() != '/') p += '/';
                p += f;
                if ((found = fsaIsFile(p))) {
                    inc.name.setMove(p);
                    break;
                }
            }
        CxStr1p content;
        inc.missing = !found || !strFileLoadFd(inc.name, content);
        if (!out_->includes.addVal(inc)) return fail("out of memory");
        if (!inc.missing && !readFile(inc.name, content)) return false;
    }
    return true;
}

bool Reader::readFile(CxStr1p const& f, CxStr1p const& content) {
    if (nest_ >= kMaxNest) return fail("include nested too deeply (includes itself?)");
    CxStr1p savedFile(file_);
    long long savedLine = line_;
    file_ = f;
    line_ = 0;
    if (GmVar* ml = vars_.findHere("MAKEFILE_LIST")) strJoinSPC(ml->value, f);
    ++nest_;
    bool ok = readText(content);
    --nest_;
    file_ = savedFile;
    line_ = savedLine;
    return ok;
}

// "vpath PATTERN DIRS" adds, "vpath PATTERN" forgets the pattern, "vpath" all.
bool Reader::vpathDirective(CxStr1p const& rest) {
    CxStr1p text;
    if (!expand(text, rest)) return false;
    StrVect words;
    for (long long i = 0; i < text.length(); ++i)
        if (text.c_str()[i] == ':') text.at(i) = ' ';
    if (!addWords(words, text)) return fail("out of memory");
    if (words.isEmpty()) {
        vpaths_.clear();
        return true;
    }
    if (words.size() == 1) {
        Vect1p_Vobj<VPath> kept;
        for (VPath& v : vpaths_)
            if (v.pattern != words[0] && !kept.addVal(v)) return fail("out of memory");
        vpaths_.swap(kept);
        return true;
    }
    VPath v;
    v.pattern = words[0];
    for (long long i = 1; i < words.size(); ++i)
        if (!v.dirs.addVal(words[i])) return fail("out of memory");
    return vpaths_.addVal(v) || fail("out of memory");
}

// A prerequisite that is not here, looked for in the vpath directories whose
// pattern matches it, then in VPATH's.
bool Reader::vpathFind(CxStr1p& found, CxStr1p const& name) {
    if (name.getAt(0) == '/' || (vpaths_.isEmpty() && vpathVar_.isEmpty())) return false;
    auto in = [&](StrVect const& dirs) {
        for (CxStr1p const& d : dirs) {
            found = d;
            if (found.last() != '/') found += '/';
            found += name;
            if (exists(found)) return true;
        }
        return false;
    };
    for (VPath const& v : vpaths_)
        if (patternMatches(v.pattern, name) && in(v.dirs)) return true;
    return in(vpathVar_);
}

// "export NAMES" / "unexport NAMES"; without names every variable of the
// file, also those set later, or none. Naming a variable does not define it.
bool Reader::exportNames(CxStr1p const& text, bool ex) {
    CxStr1p names;
    if (!expand(names, text)) return false;
    StrVect list;
    addWords(list, names);
    if (list.isEmpty()) exportAll_ = ex;
    for (CxStr1p const& n : list) {
        GmVar* v = vars_.findHere(n);
        if (!v) v = vars_.set(n, "", GmFlavor::Recursive, GmOrigin::Undefined);
        if (!v) return fail("out of memory");
        v->exported = ex;
        v->unexported = !ex;
    }
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
        // As GNU make cuts them: blanks before the comma and after it go,
        // those after '(' and before ')' stay.
        a = strTrimR(sub(rest, 1, comma), kWhite);
        b = strTrimL(sub(rest, comma + 1, rest.length() - 1), kWhite);
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
                        GmTargetVar* capture) {
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
    if (en == ".EXTRA_PREREQS")
        logPrint(1, "%s: '.EXTRA_PREREQS' is not read by this dialect; no prerequisites are added",
                 where().c_str());
    if (capture) {
        GmTargetVar& tv = *capture;
        tv.name = en;
        tv.op = op;
        tv.value = value;
        // A simple value takes the variables as they are when the line is read.
        if (op != "=" && op != "+=" && op != "?=") {
            if (op == "!=") return fail("'!=' is not read yet for a target-specific variable");
            if (!expand(tv.value, value)) return false;
        }
        tv.override = override;
        tv.exported = exported;
        return true;
    }
    if (!assign(en, op, value, override, override ? GmOrigin::Override : GmOrigin::File) ||
        !assignDone(en))
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
    if (cur && cur->origin == GmOrigin::EnvOverride && !override && origin == GmOrigin::File)
        return true;
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
        // One final newline goes; the others become blanks.
        if (out.last() == '\n') out.forceLen(out.length() - 1);
        if (out.last() == '\r') out.forceLen(out.length() - 1);
        for (long long i = 0; i < out.length(); ++i)
            if (out.c_str()[i] == '\n' || out.c_str()[i] == '\r') out.at(i) = ' ';
        // "!=" gives a recursive variable whose value holds no references.
        return vars_.set(name, dollarsDoubled(out), GmFlavor::Recursive, origin) ||
               fail("out of memory");
    }
    // := ::= :::= expand now.
    CxStr1p ev;
    if (!expand(ev, value)) return false;
    return vars_.set(name, ev, GmFlavor::Simple, origin) || fail("out of memory");
}

// After every assignment: a new recipe prefix takes effect on the next line.
bool Reader::assignDone(CxStr1p const& name) {
    if (name != ".RECIPEPREFIX") return true;
    CxStr1p v;
    ctx_.scope = nullptr;
    if (!gmExpandVar(v, name, ctx_)) return failCtx();
    pre_ = v.isEmpty() ? '\t' : v.getAt(0);
    return true;
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
            if (!assign(en, op, body, override, override ? GmOrigin::Override : GmOrigin::File) ||
                !assignDone(en))
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
    bool added = false;
    auto* n = targets_.insertNode(name, GmTarget(), added);
    if (!n) return nullptr;
    if (added) {
        n->val.name = &n->key;
        if (!order_.addVal(Named{&n->key, &n->val})) return nullptr;
    }
    return &n->val;
}

unsigned long long hashOf(char const* d, long long n) {
    unsigned long long h = 1469598103934665603ULL;
    for (long long i = 0; i < n; ++i)
        h = (h ^ (unsigned char)d[i]) * 1099511628211ULL;
    return h;
}

// Every target by name in expected constant time, for the passes after reading
// (which may add the goals that implicit rules make).
bool Reader::buildHash() {
    long long cap = 16;
    while (cap < 2 * order_.size())
        cap *= 2;
    hash_.clear();
    if (!hash_.reserve(cap)) return false;
    for (long long i = 0; i < cap; ++i)
        hash_.addVal(nullptr);
    hashMask_ = cap - 1;
    hashCount_ = 0;
    for (Named const& nm : order_)
        if (!hashAdd(nm.t)) return false;
    return true;
}

bool Reader::hashAdd(GmTarget* t) {
    if (!addStem(*t->name)) return false;
    if (2 * (hashCount_ + 1) > hash_.size()) return buildHash();
    CxStr1p const& k = *t->name;
    long long h = (long long)(hashOf(k.c_str(), k.length()) & (unsigned long long)hashMask_);
    while (hash_[h])
        h = (h + 1) & hashMask_;
    hash_[h] = t;
    ++hashCount_;
    return true;
}

GmTarget* Reader::lookup(char const* d, long long n) {
    if (hash_.isEmpty()) return nullptr;
    long long h = (long long)(hashOf(d, n) & (unsigned long long)hashMask_);
    for (; hash_[h]; h = (h + 1) & hashMask_) {
        CxStr1p const& k = *hash_[h]->name;
        if (k.length() == n && memcmp(k.c_str(), d, (size_t)n) == 0) return hash_[h];
    }
    return nullptr;
}

// A pattern rule: its prerequisites and recipe in a target of its own, named so
// that no file can be meant.
bool Reader::addPattern(CxStr1p const& pattern, CxStr1p const& normal, CxStr1p const& order,
                        bool terminal, bool hasRecipe, CxStr1p const& recipe) {
    CxStr1p key(pattern);
    char n[32];
    snprintf(n, sizeof n, "\n%lld", patternRules_.size());
    key += n;
    GmTarget* g = target(key);
    if (!g) return fail("out of memory");
    g->seen = true; // never a goal itself
    g->prereqs = normal;
    g->orderOnly = order;
    long long pc = -1;
    pattern.findIndex(pc, '%');
    // What a specific target ends in ("" for "%" rules or patterns like "a%").
    if (pattern.length() > 1) {
        CxStr1p end(pattern.c_str() + pc + 1, pattern.length() - pc - 1);
        bool have = false;
        for (CxStr1p const& e : specificEnds_)
            have = have || e == end;
        if (!have && !specificEnds_.addVal(end)) return fail("out of memory");
    }
    if (!patternRules_.addVal(
            Pattern{pattern, g, terminal, pc, strHas(pattern, '/'), pattern.length() == 1}))
        return fail("out of memory");
    if (!cur_.addVal(Cur{Named{g->name, g}, false})) return fail("out of memory");
    return !hasRecipe || addRecipeLine(*g, recipe);
}

// "targets: target-pattern: prerequisite-patterns": explicit rules whose
// prerequisites come from each target's stem.
bool Reader::staticRule(CxStr1p const& targets, CxStr1p const& rest, bool hasRecipe,
                        CxStr1p const& recipe) {
    long long colon = findTop(rest, ":");
    CxStr1p tpat, ppats;
    if (!expand(tpat, sub(rest, 0, colon)) || !expand(ppats, sub(rest, colon + 1))) return false;
    tpat = trim(tpat);
    if (!strHas(tpat, '%')) return fail("target pattern contains no '%'");
    CxStr1p normal, order, w;
    long long pos = 0;
    bool oo = false;
    while (strToken(w, pos, ppats, " \t")) {
        if (w == "|") {
            oo = true;
            continue;
        }
        strJoinSPC(oo ? order : normal, w);
    }
    pos = 0;
    while (strToken(w, pos, targets, " \t")) {
        // A static pattern matches the whole name, directory and all.
        long long pc = -1;
        tpat.findIndex(pc, '%');
        long long suf = tpat.length() - pc - 1;
        if (w.length() < pc + suf || memcmp(w.c_str(), tpat.c_str(), (size_t)pc) != 0 ||
            memcmp(w.c_str() + w.length() - suf, tpat.c_str() + pc + 1, (size_t)suf) != 0) {
            logPrint(1, "%s: target '%s' doesn't match the target pattern", where().c_str(),
                     w.c_str());
            continue;
        }
        GmTarget* g = target(w);
        if (!g) return fail("out of memory");
        g->stem = sub(w, pc, w.length() - suf);
        CxStr1p p = substStem(normal, g->stem, false), o = substStem(order, g->stem, false);
        if (!p.isEmpty()) strJoinSPC(g->prereqs, p);
        if (!o.isEmpty()) strJoinSPC(g->orderOnly, o);
        if (firstGoal_.isEmpty() && w.getAt(0) != '.') firstGoal_ = w;
        if (hasRecipe && !overrideRecipe(*g, w)) return false;
        if (!cur_.addVal(Cur{Named{g->name, g}, !hasRecipe})) return fail("out of memory");
        if (hasRecipe && !addRecipeLine(*g, recipe)) return false;
    }
    return true;
}

// A later rule's recipe replaces an earlier one, as GNU make does with a warning.
bool Reader::overrideRecipe(GmTarget& g, CxStr1p const& name) {
    if (!g.hasRecipe) return true;
    logPrint(1, "%s: warning: overriding recipe for target '%s'", where().c_str(), name.c_str());
    g.recipeHead = g.recipeTail = -1;
    return true;
}

bool Reader::addRecipeLine(GmTarget& g, CxStr1p const& line) {
    if (files_.isEmpty() || files_.lastVal() != file_)
        if (!files_.addVal(file_)) return fail("out of memory");
    if (!lines_.addVal(GmRecipeLine{line, line_, files_.size() - 1, -1}))
        return fail("out of memory");
    long long i = lines_.size() - 1;
    if (g.recipeTail < 0)
        g.recipeHead = i;
    else
        lines_[g.recipeTail].next = i;
    g.recipeTail = i;
    g.hasRecipe = true;
    return true;
}

// A special target's prerequisites; .DEFAULT is read as a rule of its own.
bool Reader::special(CxStr1p const& t, CxStr1p const& normal) {
    StrVect names;
    if (!addWords(names, normal)) return fail("out of memory");
    if (t == ".PHONY") {
        if (hooks_.addPhony && !normal.isEmpty() && !hooks_.addPhony(normal))
            return fail("out of memory");
        for (CxStr1p const& w : names)
            if (!phony_.addK(w)) return fail("out of memory");
        return true;
    }
    if (t == ".SUFFIXES") {
        // Without suffixes no suffix rule and none of the built-in ones applies.
        if (names.isEmpty()) {
            suffixes_ = false;
            suffixList_.clear();
        }
        for (CxStr1p const& w : names)
            if (!suffixList_.addVal(w)) return fail("out of memory");
        return true;
    }
    struct Named {
        char const* name;
        StrSet* set;
        bool* all;
    } const lists[] = {{".SECONDARY", &secondary_, &secondaryAll_},
                       {".INTERMEDIATE", &intermediate_, nullptr},
                       {".SILENT", &silent_, &silentAll_},
                       {".IGNORE", &ignore_, &ignoreAll_}};
    for (Named const& l : lists) {
        if (t != l.name) continue;
        if (names.isEmpty() && l.all) *l.all = true;
        for (CxStr1p const& w : names)
            if (!l.set->addK(w)) return fail("out of memory");
        return true;
    }
    if (t == ".PRECIOUS") {
        for (CxStr1p const& w : names)
            if (!precious_.addVal(w)) return fail("out of memory");
    } else if (t == ".DELETE_ON_ERROR") {
        // Nothing to do: a file its failed recipe changed is always deleted.
    } else if (t == ".ONESHELL") {
        oneShell_ = true;
    } else if (t == ".POSIX") {
        posix_ = true;
    } else if (t == ".NOTPARALLEL") {
        out_->notParallel = true;
    } else if (t == ".EXPORT_ALL_VARIABLES") {
        exportAll_ = true;
    } else if (t == ".SECONDEXPANSION") {
        logPrint(1, "%s: '%s' is not read by this dialect; prerequisites are expanded once",
                 where().c_str(), t.c_str());
    }
    // .LOW_RESOLUTION_TIME changes nothing here.
    return true;
}

// Where the recipe of a rule line starts in its text as written: after the
// first ';' outside references, unless a comment starts before it.
long long rawRecipeStart(CxStr1p const& raw) {
    for (long long i = findTop(raw, ";#"); i >= 0; i = findTop(raw, ";#", i + 1)) {
        if (raw.c_str()[i] == ';') return i + 1;
        if (i == 0 || raw.c_str()[i - 1] != '\\') return -1;
    }
    return -1;
}

bool Reader::rule(CxStr1p const& line, CxStr1p const& raw) {
    long long colon = findTop(line, ":");
    if (colon < 0) {
        CxStr1p e;
        if (!expand(e, line)) return false;
        if (trim(e).isEmpty()) return true;
        return fail("missing separator");
    }
    left_.setCstr(line.c_str(), colon);
    long long after = colon + 1;
    bool dbl = line.getAt(after) == ':';
    if (dbl) ++after;
    right_.setCstr(line.c_str() + after, line.length() - after);
    CxStr1p recipe;
    bool hasRecipe = false;
    long long semi = findTop(right_, ";");
    if (semi >= 0) {
        // '#' and "\#" there are the shell's, as on a recipe line.
        long long r = raw.isEmpty() ? -1 : rawRecipeStart(raw);
        recipe = r >= 0 ? strTrimL(strTrimR(sub(raw, r), kWhite), kWhite)
                        : strTrimL(sub(right_, semi + 1), kWhite);
        right_.forceLen(semi);
        hasRecipe = true;
    }
    if (!expand(names_, left_)) return false;
    if (trim(names_).isEmpty()) return fail("missing target pattern");
    anyRule_ = true;
    endRule();
    // "goal: VAR = value" sets a target-specific variable.
    if (semi < 0 && findTop(right_, "=") >= 0) {
        CxStr1p body = trim(right_), w, r;
        bool override = false, exported = false;
        for (;;) {
            firstWord(w, r, body);
            if (w == "override" && !r.isEmpty())
                override = true;
            else if (w == "private" && !r.isEmpty())
                logPrint(1, "%s: 'private' is not read yet by this dialect; the value is inherited",
                         where().c_str());
            else if (w == "export" && !r.isEmpty())
                exported = true;
            else
                break;
            body = r;
        }
        CxStr1p n, o, v;
        if (splitAssign(n, o, v, body)) {
            StrVect tl;
            addWords(tl, names_);
            for (CxStr1p const& t : tl) {
                GmVarLink link{GmTargetVar(), -1};
                bool h = false;
                if (!assignment(body, h, override, exported, &link.v)) return false;
                // "%.o: VAR = value" holds for every goal the pattern matches.
                if (strHas(t, '%')) {
                    if (!patternVars_.addVal(link.v) || !patterns_.addVal(t))
                        return fail("out of memory");
                    continue;
                }
                GmTarget* g = target(t);
                if (!g || !tvars_.addVal(link)) return fail("out of memory");
                long long i = tvars_.size() - 1;
                if (g->varsTail < 0)
                    g->varsHead = i;
                else
                    tvars_[g->varsTail].next = i;
                g->varsTail = i;
            }
            return true;
        }
    }
    long long second = findTop(right_, ":");
    if (second >= 0) {
        anyRule_ = true;
        return staticRule(names_, right_, hasRecipe, recipe);
    }
    if (!expand(deps_, right_)) return false;
    // make reads "lib.a(x.o)" as a member of an archive; a plain name would be a different goal.
    if (strHas(names_, '(') || strHas(deps_, '('))
        return fail("archive members ('lib.a(x.o)') are not read by this dialect");
    // The prerequisites as one text of single-blank separated words each.
    CxStr1p normal, order;
    {
        bool oo = false;
        long long s0, n0, pos = 0;
        char const* d = deps_.c_str();
        while (cstrToken(s0, n0, pos, d, deps_.length(), " \t\r\n", "")) {
            if (n0 == 1 && d[s0] == '|') {
                oo = true;
                continue;
            }
            CxStr1p& into = oo ? order : normal;
            if (!into.isEmpty()) into += ' ';
            into.addCstr(d + s0, n0);
        }
    }
    // "a b &: c": grouped targets, made by one run of the recipe of the first.
    bool grouped = false;
    {
        CxStr1p l = trim(names_);
        if (l.last() == '&') {
            grouped = true;
            names_ = sub(l, 0, l.length() - 1);
        }
    }
    GmTarget* leader = nullptr;
    long long firstPattern = -1;
    long long s0, n0, pos = 0;
    char const* nd = names_.c_str();
    while (cstrToken(s0, n0, pos, nd, names_.length(), " \t\r\n", "")) {
        tok_.setCstr(nd + s0, n0);
        CxStr1p const& t = tok_;
        if (t.getAt(0) == '.' && t != ".DEFAULT" && isSpecialTarget(t)) {
            if (!special(t, normal)) return false;
            continue;
        }
        if (strHas(t, '%')) {
            // Several target patterns: one recipe run makes them all.
            if (firstPattern < 0) firstPattern = patternRules_.size();
            if (!addPattern(t, normal, order, dbl, hasRecipe, recipe)) return false;
            if (firstPattern != patternRules_.size() - 1)
                patternRules_.lastVal().leader = firstPattern;
            continue;
        }
        // ".c.o:" is "%.o: %.c", ".c:" is "%: %.c".
        CxStr1p from, to;
        if (normal.isEmpty() && order.isEmpty() && suffixRule(suffixList_, from, to, t)) {
            CxStr1p pat("%"), pre("%");
            pat += to;
            pre += from;
            if (!addPattern(pat, pre, CxStr1p(), false, hasRecipe, recipe)) return false;
            continue;
        }
        GmTarget* g = target(t);
        if (!g) return fail("out of memory");
        if (t == ".DEFAULT") default_ = g;
        if (grouped && leader) {
            // The others wait for the first; it runs again when one is missing.
            strJoinSPC(leader->group, t);
            strJoinSPC(g->prereqs, *leader->name);
            continue;
        }
        if (grouped) leader = g;
        if (!dbl && !normal.isEmpty()) strJoinSPC(g->prereqs, normal);
        if (!dbl && !order.isEmpty()) strJoinSPC(g->orderOnly, order);
        if (firstGoal_.isEmpty() && (t.getAt(0) != '.' || strHas(t, '/'))) {
            firstGoal_ = t;
            // .DEFAULT_GOAL names it unless the file set a goal of its own.
            GmVar* dg = vars_.findHere(".DEFAULT_GOAL");
            if ((!dg || dg->value.isEmpty()) &&
                !vars_.set(".DEFAULT_GOAL", t, GmFlavor::Recursive, GmOrigin::Default))
                return fail("out of memory");
        }
        if (dbl) {
            // Each "::" rule is a goal of its own ("t::2"), made in the file's
            // order when the target is older than that rule's prerequisites,
            // and always when it has none; the target waits for them all.
            char n[32];
            snprintf(n, sizeof n, "::%lld", ++g->dblRules);
            CxStr1p subName(t);
            subName += n;
            GmTarget* sub = target(subName);
            if (!sub) return fail("out of memory");
            sub->prereqs = normal;
            sub->orderOnly = order;
            sub->dblOf = g;
            sub->force = normal.isEmpty();
            strJoinSPC(g->prereqs, subName);
            g = sub;
        }
        if (hasRecipe && !dbl && !overrideRecipe(*g, t)) return false;
        if (!cur_.addVal(Cur{Named{g->name, g}, !dbl && !hasRecipe})) return fail("out of memory");
        if (hasRecipe && !addRecipeLine(*g, recipe)) return false;
    }
    return true;
}

} // namespace

bool gmReadMakefile(GmReadIn const& in, GmHooks const& hooks, StrVect& goals, CxStr1p& err,
                    GmReadOut* out) {
    err.clear();
    std::shared_ptr<Reader> r = std::make_shared<Reader>(in, hooks, out);
    bool ok = r->run(goals);
    err.setMove(r->err_);
    r->detach();
    if (ok && out && in.lazyRecipes) out->recipes = r;
    return ok;
}

namespace {

bool Reader::run(StrVect& goals) {
    ctx_.global = &vars_;
    ctx_.shell = hooks_.shell;
    ctx_.eval = evalHook;
    ctx_.reader = this;
    ctx_.warnUndefined = in_.warnUndefined;
    file_ = in_.file;
    for (char const* sx : kSuffixes)
        if (!suffixList_.addVal(sx)) return fail("out of memory");
    if (!setupVars(goals)) return false;
    GmInclude self;
    self.name = in_.file;
    self.required = true;
    if (!out_->includes.addVal(self)) return fail("out of memory");
    if (!readText(in_.text)) return false;
    in_.text.destroy();
    // Further -f files, each read as a Makefile of its own would be.
    for (CxStr1p const& f : in_.moreFiles) {
        if (!conds_.isEmpty()) break;
        GmInclude inc;
        inc.name = f;
        inc.required = true;
        CxStr1p content;
        inc.missing = !strFileLoadFd(f, content);
        if (!out_->includes.addVal(inc)) return fail("out of memory");
        if (!inc.missing && !readFile(f, content)) return false;
    }
    if (!conds_.isEmpty()) {
        ++line_; // where the file ended
        return fail("missing 'endif'");
    }
    return finish(goals);
}

bool Reader::setupVars(StrVect& goals) {
    // The environment first, then the defaults that it does not set.
    for (char** e = environ; e && *e; ++e) {
        char const* eq = strchr(*e, '=');
        if (!eq || eq == *e) continue;
        CxStr1p name(*e, eq - *e);
        if (strIsEqAlt(name, "MAKEFLAGS|MFLAGS|MAKELEVEL|SHELL|MAKE|MAKEFILES|MAKE_RESTARTS"))
            continue;
        vars_.set(name, CxStr1p(eq + 1), GmFlavor::Recursive,
                  in_.envOverrides ? GmOrigin::EnvOverride : GmOrigin::Environment);
    }
    // -R: only the variables that make itself needs.
    char const* const kept = "SHELL|.RECIPEPREFIX|MAKE";
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
                      {"LINK.o", "$(CC) $(LDFLAGS) $(TARGET_ARCH)"},
                      {"COMPILE.cpp", "$(COMPILE.cc)"},
                      {"COMPILE.C", "$(COMPILE.cc)"},
                      {"LINK.cc", "$(CXX) $(CXXFLAGS) $(CPPFLAGS) $(LDFLAGS) $(TARGET_ARCH)"},
                      {"LINK.cpp", "$(LINK.cc)"},
                      {"LINK.C", "$(LINK.cc)"},
                      {"COMPILE.s", "$(AS) $(ASFLAGS) $(TARGET_MACH)"},
                      {"COMPILE.S", "$(CC) $(ASFLAGS) $(CPPFLAGS) $(TARGET_MACH) -c"},
                      {"PREPROCESS.S", "$(CC) -E $(CPPFLAGS)"},
                      {"LINK.s", "$(CC) $(ASFLAGS) $(LDFLAGS) $(TARGET_MACH)"},
                      {"LINK.S", "$(CC) $(ASFLAGS) $(CPPFLAGS) $(LDFLAGS) $(TARGET_MACH)"}};
    for (Def const& d : defs) {
        if (in_.noBuiltinVars && !strIsEqAlt(CxStr1p(d.name), kept)) continue;
        GmVar* v = vars_.findHere(d.name);
        if (v && d.name[0] != 'S') continue;
        if (!vars_.set(d.name, d.value, GmFlavor::Recursive, GmOrigin::Default)) return false;
    }
    vars_.set("MAKE", in_.makeCmd, GmFlavor::Recursive, GmOrigin::Default);
    // What Makefiles test to learn what they run under: the make this dialect reads as.
    vars_.set("MAKE_VERSION", "4.3", GmFlavor::Recursive, GmOrigin::Default);
    vars_.set("MAKE_HOST", in_.host, GmFlavor::Recursive, GmOrigin::Default);
    vars_.set(".FEATURES",
              "target-specific order-only else-if shortest-stem undefine oneshell nocomment "
              "grouped-target",
              GmFlavor::Recursive, GmOrigin::Default);
    vars_.set(".LIBPATTERNS", "lib%.so lib%.a", GmFlavor::Recursive, GmOrigin::Default);
    {
        CxStr1p dirs;
        for (CxStr1p const& d : in_.includeDirs)
            strJoinSPC(dirs, d);
        vars_.set(".INCLUDE_DIRS", dirs, GmFlavor::Recursive, GmOrigin::Default);
    }
    if (!in_.noBuiltinRules) {
        CxStr1p sx;
        for (char const* x : kSuffixes)
            strJoinSPC(sx, CxStr1p(x));
        vars_.set("SUFFIXES", sx, GmFlavor::Recursive, GmOrigin::Default);
    }
    vars_.set("CURDIR", in_.curDir, GmFlavor::Simple, GmOrigin::File);
    vars_.set("MAKEFILE_LIST", in_.file, GmFlavor::Simple, GmOrigin::File);
    vars_.set("MAKELEVEL", in_.makeLevel.isEmpty() ? CxStr1p("0") : in_.makeLevel,
              GmFlavor::Recursive, GmOrigin::Environment);
    if (in_.restarts > 0) {
        char n[32];
        snprintf(n, sizeof n, "%lld", in_.restarts);
        vars_.set("MAKE_RESTARTS", n, GmFlavor::Recursive, GmOrigin::File);
    }
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
        // A goal named twice is made once.
        bool again = false;
        for (CxStr1p const& g : goals)
            again = again || g == a;
        if (again) continue;
        if (!goals.addVal(a)) return false;
        strJoinSPC(cmdGoals, a);
    }
    // make's form: the flag letters, then the command line's variables.
    CxStr1p mf(in_.flags);
    if (!flags.isEmpty()) {
        mf += " -- ";
        mf += flags;
    }
    // Nested runs take the flags and the command line's variables from it.
    if (GmVar* v = vars_.set("MAKEFLAGS", mf, GmFlavor::Recursive, GmOrigin::File))
        v->exported = true;
    vars_.set("MAKEOVERRIDES", flags, GmFlavor::Recursive, GmOrigin::File);
    vars_.set("MAKECMDGOALS", cmdGoals, GmFlavor::Recursive, GmOrigin::File);
    return true;
}

// Index of the next backslash-newline from k; -1 when none.
long long findNl(CxStr1p const& s, long long k) {
    char const* d = s.c_str();
    for (; k + 1 < s.length(); ++k)
        if (d[k] == '\\' && d[k + 1] == '\n') return k;
    return -1;
}

// GNU make's $* for an explicit rule: the name without a known suffix.
CxStr1p explicitStem(CxStr1p const& name) {
    for (char const* s : kSuffixes) {
        CxStr1p sx(s);
        if (strHasEnd(name, sx) && name.length() > sx.length())
            return sub(name, 0, name.length() - sx.length());
    }
    return CxStr1p();
}

// The stem of name under a pattern with one '%': at least one character.
bool patternMatches(CxStr1p const& pattern, CxStr1p const& name) {
    long long pc = -1;
    if (!pattern.findIndex(pc, '%')) return pattern == name;
    long long suf = pattern.length() - pc - 1;
    return name.length() > pc + suf && memcmp(name.c_str(), pattern.c_str(), (size_t)pc) == 0 &&
           memcmp(name.c_str() + name.length() - suf, pattern.c_str() + pc + 1, (size_t)suf) == 0;
}

// Pattern-specific values first, then the goal's own: the goal's win.
bool Reader::scopeFor(GmVars& scope, GmTarget const& t, CxStr1p const& name) {
    for (long long i = 0; i < patterns_.size(); ++i)
        if (patternMatches(patterns_[i], name) && !applyVar(scope, patternVars_[i])) return false;
    for (long long i = t.varsHead; i >= 0; i = tvars_[i].next)
        if (!applyVar(scope, tvars_[i].v)) return false;
    return true;
}

bool Reader::applyVar(GmVars& scope, GmTargetVar const& tv) {
    GmVar* cur = scope.findHere(tv.name);
    GmVar* outer = scope.parent ? scope.parent->find(tv.name) : nullptr;
    if (outer && !tv.override &&
        (outer->origin == GmOrigin::CommandLine || outer->origin == GmOrigin::EnvOverride))
        return true;
    CxStr1p value(tv.value);
    GmFlavor flavor = GmFlavor::Recursive;
    ctx_.scope = &scope;
    ctx_.autos = nullptr;
    if (tv.op == "+=") {
        GmVar* base = cur ? cur : outer;
        if (base) {
            // Appending to an outer value gives a recursive variable, expanded
            // when used ($@ included); the outer value stays as it reads.
            bool simple = base == cur && cur->flavor == GmFlavor::Simple;
            CxStr1p add(tv.value);
            if (simple && !gmExpand(add, tv.value, ctx_)) return failCtx();
            value = base->flavor == GmFlavor::Simple && !simple ? dollarsDoubled(base->value)
                                                                : base->value;
            if (!value.isEmpty() && !add.isEmpty()) value += ' ';
            value += add;
            flavor = simple ? GmFlavor::Simple : GmFlavor::Recursive;
        }
    } else if (tv.op == "?=") {
        if (cur || outer) return true;
    } else if (tv.op != "=") {
        flavor = GmFlavor::Simple; // expanded when read
    }
    GmVar* v = scope.set(tv.name, value, flavor, tv.override ? GmOrigin::Override : GmOrigin::File);
    if (!v) return fail("out of memory");
    v->exported = tv.exported;
    return true;
}

bool Reader::autosFor(GmAuto& a, CxStr1p const& name, GmTarget const& t, bool times) {
    a.at = name;
    // $? needs the files' times; most recipes do not name it.
    long long targetTime = times ? fsaTime(name) : 0;
    StrSet once;
    bool several = strHas(t.prereqs, ' ');
    CxStr1p p;
    long long pos = 0;
    while (strToken(p, pos, t.prereqs, " ")) {
        if (a.first.isEmpty()) a.first = p;
        strJoinSPC(a.allDup, p);
        if (several) {
            if (once.findNode(p)) continue;
            if (!once.addK(p)) return false;
        }
        strJoinSPC(a.all, p);
        // Newer, missing, or to be made itself: as far as reading can tell.
        if (!times) continue;
        long long pt = fsaTime(p);
        if (targetTime <= 0 || pt <= 0 || pt > targetTime || lookup(p.c_str(), p.length()))
            strJoinSPC(a.newer, p);
    }
    a.orderOnly = t.orderOnly;
    a.stem = t.stem.isEmpty() ? explicitStem(name) : t.stem;
    return true;
}

// GNU make's built-in rules for C, C++, assembler and linking, after the file's.
bool Reader::addBuiltins() {
    struct Rule {
        char const *target, *prereq, *recipe;
    } const rules[] = {
        {"%.o", "%.c", "$(COMPILE.c) $(OUTPUT_OPTION) $<"},
        {"%.o", "%.cc", "$(COMPILE.cc) $(OUTPUT_OPTION) $<"},
        {"%.o", "%.cpp", "$(COMPILE.cpp) $(OUTPUT_OPTION) $<"},
        {"%.o", "%.C", "$(COMPILE.C) $(OUTPUT_OPTION) $<"},
        {"%.o", "%.s", "$(COMPILE.s) -o $@ $<"},
        {"%.o", "%.S", "$(COMPILE.S) -o $@ $<"},
        {"%.s", "%.S", "$(PREPROCESS.S) $< > $@"},
        {"%", "%.o", "$(LINK.o) $^ $(LOADLIBES) $(LDLIBS) -o $@"},
        {"%", "%.c", "$(LINK.c) $^ $(LOADLIBES) $(LDLIBS) -o $@"},
        {"%", "%.cc", "$(LINK.cc) $^ $(LOADLIBES) $(LDLIBS) -o $@"},
        {"%", "%.cpp", "$(LINK.cpp) $^ $(LOADLIBES) $(LDLIBS) -o $@"},
        {"%", "%.C", "$(LINK.C) $^ $(LOADLIBES) $(LDLIBS) -o $@"},
        {"%", "%.s", "$(LINK.s) $^ $(LOADLIBES) $(LDLIBS) -o $@"},
        {"%", "%.S", "$(LINK.S) $^ $(LOADLIBES) $(LDLIBS) -o $@"},
    };
    CxStr1p savedFile(file_);
    long long savedLine = line_;
    file_ = "<builtin>";
    line_ = 0;
    bool ok = true;
    for (Rule const& r : rules)
        ok = ok && addPattern(r.target, r.prereq, CxStr1p(), false, true, r.recipe);
    endRule();
    file_ = savedFile;
    line_ = savedLine;
    return ok;
}

// A name without its last suffix: what a match-anything rule's stem would be.
bool Reader::addStem(CxStr1p const& name) {
    long long dot = -1;
    for (long long i = 0; i < name.length(); ++i) {
        if (name.c_str()[i] == '.') dot = i;
        if (name.c_str()[i] == '/') dot = -1;
    }
    return dot <= 0 || stems_.add(name.c_str(), dot);
}

// Whether name's directory was listed already (the last one, as a rule).
bool Reader::listed(CxStr1p const& name) {
    long long slash = -1;
    for (long long i = 0; i < name.length(); ++i)
        if (name.c_str()[i] == '/') slash = i;
    long long dl = slash < 0 ? 0 : slash;
    if (lastSet_ && lastDir_.length() == dl &&
        memcmp(lastDir_.c_str(), name.c_str(), (size_t)dl) == 0)
        return true;
    return dirIndex_.find(CxStr1p(name.c_str(), dl)) != nullptr;
}

bool Reader::exists(CxStr1p const& name) {
    long long slash = -1;
    for (long long i = 0; i < name.length(); ++i)
        if (name.c_str()[i] == '/') slash = i;
    char const* f = name.c_str() + slash + 1;
    long long dl = slash < 0 ? 0 : slash;
    // Names come in runs from one directory.
    if (lastSet_ && lastDir_.length() == dl &&
        memcmp(lastDir_.c_str(), name.c_str(), (size_t)dl) == 0)
        return lastSet_->has(f, name.length() - slash - 1);
    CxStr1p dir(name.c_str(), dl);
    long long* idx = dirIndex_.find(dir);
    if (!idx) {
        NameSet* set = new (std::nothrow) NameSet;
        if (!set || !dirs_.addVal(set)) {
            delete set;
            return fsaExist(name);
        }
        FsDir d;
        CxStr1p entry, full;
        if (d.open(dir.isEmpty() ? CxStr1p(".") : dir))
            while (d.nextInDir(entry)) {
                set->add(entry.c_str(), entry.length());
                if (!strHas(entry, '.')) continue; // no suffix, no stem
                full = dir;
                if (!full.isEmpty()) full += '/';
                full += entry;
                addStem(full);
            }
        if (!dirIndex_.addKV(dir, dirs_.size() - 1)) return fsaExist(name);
        idx = dirIndex_.find(dir);
    }
    lastDir_.setMove(dir);
    lastSet_ = dirs_[*idx];
    return lastSet_->has(f, name.length() - slash - 1);
}

// name is a goal, an existing file, or something a rule can make.
bool Reader::canMake(CxStr1p const& name, int depth) {
    if (lookup(name.c_str(), name.length()) || exists(name)) return true;
    CxStr1p found;
    if (vpathFind(found, name)) return true;
    Pattern const* p = nullptr;
    CxStr1p stem;
    return depth < 2 && findImplicit(p, stem, name, depth + 1);
}

// The first pattern rule, shortest stem first and then in search order,
// whose prerequisites all exist, are goals or can be made themselves.
bool Reader::findImplicit(Pattern const*& found, CxStr1p& stem, CxStr1p const& name, int depth) {
    found = nullptr;
    // The rules that match, by stem length (stable, so search order stays).
    struct Cand {
        long long rule, stemLen;
    };
    Cand cands[64];
    long long n = 0;
    char const* nd = name.c_str();
    // Most names end in nothing a rule with a specific target makes; then only
    // a match-anything rule could, and only for a name without a known suffix
    // whose stem is known (a goal's or a listed file's).
    bool specific = false;
    for (CxStr1p const& sx : specificEnds_)
        if (name.length() > sx.length() &&
            memcmp(nd + name.length() - sx.length(), sx.c_str(), (size_t)sx.length()) == 0) {
            specific = true;
            break;
        }
    if (!specific) {
        if (depth > 0 || hasKnownSuffix(suffixList_, name)) return false;
        if (!stems_.has(nd, name.length())) {
            if (listed(name)) return false;
            exists(name); // lists the directory
            if (!stems_.has(nd, name.length())) return false;
        }
    }
    long long dirLen = 0;
    for (long long i = 0; i < name.length(); ++i)
        if (nd[i] == '/') dirLen = i + 1;
    int knownType = -1; // looked at once, when a match-anything rule asks
    for (long long i = 0; i < patternRules_.size() && n < 64; ++i) {
        Pattern const& p = patternRules_[i];
        if (!p.rule->hasRecipe) continue;
        // A match-anything rule neither makes a file of a known type nor a
        // prerequisite of another implicit rule.
        if (p.anything && !p.terminal) {
            if (depth > 0) continue;
            if (knownType < 0) knownType = hasKnownSuffix(suffixList_, name) ? 1 : 0;
            if (knownType) continue;
        }
        long long off = p.slash ? 0 : dirLen, fn = name.length() - off;
        long long suf = p.target.length() - p.pc - 1;
        char const* f = nd + off;
        if (fn <= p.pc + suf || memcmp(f, p.target.c_str(), (size_t)p.pc) != 0 ||
            memcmp(f + fn - suf, p.target.c_str() + p.pc + 1, (size_t)suf) != 0)
            continue;
        long long len = off + fn - p.pc - suf;
        long long k = n++;
        for (; k > 0 && cands[k - 1].stemLen > len; --k)
            cands[k] = cands[k - 1];
        cands[k] = Cand{i, len};
    }
    // Each prerequisite is put together in this depth's buffer: a search
    // looks at many names and keeps none of them.
    CxStr1p& st = stemBuf_[depth];
    CxStr1p& w = nameBuf_[depth];
    for (long long c = 0; c < n; ++c) {
        Pattern const& p = patternRules_[cands[c].rule];
        stemOf(st, p.target, name);
        bool ok = true;
        long long s0, n0, pos = 0;
        CxStr1p const& pre = p.rule->prereqs;
        while (ok && cstrToken(s0, n0, pos, pre.c_str(), pre.length(), " ", "")) {
            w.clear();
            addStemmed(w, pre.c_str() + s0, n0, st, true);
            CxStr1p found;
            ok = p.terminal ? exists(w) || vpathFind(found, w) : canMake(w, depth);
        }
        if (!ok) continue;
        found = &p;
        stem.setObj(st);
        return true;
    }
    return false;
}

// A goal without a recipe takes one from an implicit rule: its prerequisites
// come first ($<), then the goal's own.
bool Reader::applyImplicit(GmTarget& t, CxStr1p const& name) {
    t.searched = true;
    if (t.hasRecipe || phony_.findNode(name)) return true;
    Pattern const* p = nullptr;
    CxStr1p stem;
    if (!findImplicit(p, stem, name, 0)) return true;
    // Several target patterns: the goal needed first runs the recipe for all
    // (and does so when one of the others is missing); the others wait for it.
    long long self = p - &patternRules_[0], lead = p->leader >= 0 ? p->leader : self;
    for (long long i = lead;
         i < patternRules_.size() && (i == lead || patternRules_[i].leader == lead); ++i) {
        if (i == self) continue;
        CxStr1p other = substStem(patternRules_[i].target, stem);
        GmTarget* o = lookup(other.c_str(), other.length());
        if (o && o->groupHolder) {
            strJoinSPC(other, t.prereqs);
            t.prereqs.setMove(other);
            t.implicitCount = 1;
            return true;
        }
        t.groupHolder = true;
        if (!exists(other)) t.force = true;
    }
    CxStr1p pre = substStem(p->rule->prereqs, stem);
    for (long long i = 0; i < pre.length(); ++i)
        t.implicitCount += i == 0 || pre.c_str()[i - 1] == ' ';
    if (!t.prereqs.isEmpty()) strJoinSPC(pre, t.prereqs);
    t.prereqs.setMove(pre);
    CxStr1p oo = substStem(p->rule->orderOnly, stem);
    if (!oo.isEmpty()) strJoinSPC(t.orderOnly, oo);
    t.stem.setMove(stem);
    t.recipeHead = p->rule->recipeHead;
    t.recipeTail = -1; // shared with the rule: never appended to
    t.hasRecipe = true;
    return true;
}

bool Reader::emitGoal(CxStr1p const& name, GmTarget& t, GmVars const* inherited, GmTarget* via) {
    if (t.seen) return true;
    t.seen = true;
    t.via = via;
    if (!t.searched && !applyImplicit(t, name)) return false;
    GmVars scope;
    scope.parent = inherited ? inherited : &vars_;
    if (!scopeFor(scope, t, name)) return false;
    for (long long pos = 0, s0, n0;
         cstrToken(s0, n0, pos, t.group.c_str(), t.group.length(), " ", "");)
        if (!exists(CxStr1p(t.group.c_str() + s0, n0))) t.force = true;
    // Prerequisites first, so they inherit this goal's variables. A word may
    // change (found through vpath) or go (a missing intermediate file that
    // nothing needs): then the list is written anew.
    for (int li = 0; li < 2; ++li) {
        CxStr1p& list = li ? t.orderOnly : t.prereqs;
        CxStr1p kept;
        bool changed = false;
        long long s0, n0, pos = 0, idx = 0;
        while (cstrToken(s0, n0, pos, list.c_str(), list.length(), " ", "")) {
            bool fromRule = li == 1 || idx++ >= t.implicitCount;
            // An implicit rule's prerequisite that the goal's rule names too.
            for (long long p2 = pos, k = idx, s1, n1;
                 !fromRule && cstrToken(s1, n1, p2, list.c_str(), list.length(), " ", ""); ++k)
                fromRule = k >= t.implicitCount && n1 == n0 &&
                           memcmp(list.c_str() + s1, list.c_str() + s0, (size_t)n0) == 0;
            GmTarget* pt = lookup(list.c_str() + s0, n0);
            CxStr1p pn;
            if (!pt) {
                pn.setCstr(list.c_str() + s0, n0);
                if (!prereqGoal(pt, pn, fromRule)) return false;
            } else if (fromRule) {
                pt->mentioned = true;
            }
            bool drop = pt && !pt->seen && intermediate(*pt) &&
                        keepsMissing(*pt, pn.isEmpty() ? *pt->name : pn, name);
            // A goal not here but found through vpath and up to date there is
            // used there; out of date, it is made here.
            long long tv = 0;
            CxStr1p there;
            if (pt && !pt->seen && !drop && pn.isEmpty() &&
                (!vpaths_.isEmpty() || !vpathVar_.isEmpty()) && !exists(*pt->name) &&
                vpathFind(there, *pt->name) && fsaTime(tv, there) &&
                newerThanPrereqs(*pt, *pt->name, tv)) {
                pt = nullptr;
                pn.setMove(there);
            }
            if (pt && !drop && !emitGoal(*pt->name, *pt, &scope, &t)) return false;
            bool same =
                !drop && (pn.isEmpty() || (pn.length() == n0 &&
                                           memcmp(pn.c_str(), list.c_str() + s0, (size_t)n0) == 0));
            if (!same && !changed) {
                changed = true;
                kept.setCstr(list.c_str(), s0);
                while (kept.last() == ' ')
                    kept.forceLen(kept.length() - 1);
            }
            if (changed && !drop)
                strJoinSPC(kept, pn.isEmpty() ? CxStr1p(list.c_str() + s0, n0) : pn);
        }
        if (changed) list.setMove(kept);
    }
    // Most recipes of generated files name no variable: nothing to expand.
    bool refs = false;
    for (long long i = t.recipeHead; i >= 0 && !refs; i = lines_[i].next)
        refs = strHas(lines_[i].text, '$');
    bool lazy = refs && in_.lazyRecipes;
    if (!goalMarks(name, t, lazy)) return false;
    bool ok = true;
    if (t.orderOnly.isEmpty()) {
        ok = !hooks_.addDeps || hooks_.addDeps(name, t.prereqs);
    } else {
        CxStr1p deps(t.prereqs);
        strJoinSPC(deps, "|");
        strJoinSPC(deps, t.orderOnly);
        ok = !hooks_.addDeps || hooks_.addDeps(name, deps);
    }
    if (!ok) return fail("out of memory");
    CxStr1p text, one;
    if (lazy) {
        // Expanded when the goal is about to be made, as make does; until then
        // the goal table holds the lines as written.
        for (long long i = t.recipeHead; i >= 0; i = lines_[i].next) {
            one.setObj(lines_[i].text);
            for (long long k = 0; k < one.length(); ++k)
                if (one.c_str()[k] == '\n') one.at(k) = ' ';
            if (hooks_.addCmd && !hooks_.addCmd(name, one)) return fail("out of memory");
        }
        return true;
    }
    if (!recipeText(text, name, t, scope)) return false;
    for (long long pos = 0; strTokenOneNL(one, pos, text);)
        if (hooks_.addCmd && !hooks_.addCmd(name, one)) return fail("out of memory");
    // The goal table has it all now: the memory serves the goals still to come.
    t.prereqs.destroy();
    t.orderOnly.destroy();
    return true;
}

// The recipe lines of goal t, expanded with its automatic variables in scope,
// each followed by "\n".
bool Reader::recipeText(CxStr1p& out, CxStr1p const& goal, GmTarget const& t, GmVars const& scope) {
    out.clear();
    // A "::" rule's recipe is its target's.
    CxStr1p const& name = t.dblOf ? *t.dblOf->name : goal;
    bool refs = false, times = false;
    for (long long i = t.recipeHead; i >= 0; i = lines_[i].next) {
        refs = refs || strHas(lines_[i].text, '$');
        times = times || strHas(lines_[i].text, '?');
    }
    GmAuto a;
    if (refs && !autosFor(a, name, t, times)) return fail("out of memory");
    GmExpandCtx& ctx = ctx_;
    CxStr1p raw, text, marks0, one, shell;
    // .SILENT and .IGNORE put their marks on every line of the goal.
    CxStr1p allMarks;
    if (silentAll_ || (!silent_.isEmpty() && silent_.findNode(name))) allMarks += '@';
    if (ignoreAll_ || (!ignore_.isEmpty() && ignore_.findNode(name))) allMarks += '-';
    bool plain = allMarks.isEmpty() && !oneShell_ && !posix_;
    for (long long i = t.recipeHead; i >= 0; i = lines_[i].next) {
        CxStr1p const& line = lines_[i].text;
        if (plain && !refs && !strchr("@-+ \t", line.getAt(0)) && !strHas(line, '\n')) {
            // Nothing to expand, no marks, one line: as written.
            out += line;
            out += '\n';
            continue;
        }
        // Marks before the expansion hold for every line it gives.
        raw.setObj(line);
        marks0 = allMarks;
        splitMarks(marks0, raw);
        // A line that starts make runs even with -n.
        if (strHas(raw, '$') &&
            (strHas(raw, CxStr1p("$(MAKE)")) || strHas(raw, CxStr1p("${MAKE}"))) &&
            !strHas(marks0, '+'))
            marks0 += '+';
        // Backslash-newline stays for the interpreter, which joins the lines
        // itself (and keeps both inside single quotes); the recipe prefix
        // starting the next line goes.
        for (long long k = 0; (k = findNl(raw, k)) >= 0;) {
            raw.at(k + 1) = kRecipeLineSep;
            if (raw.getAt(k + 2) == pre_) raw.delSpan(k + 2, 1);
        }
        if (!strHas(raw, '$')) {
            text.setMove(raw);
        } else {
            // Set per line: an $(eval) or $(call) inside may have changed them.
            ctx.scope = &scope;
            ctx.autos = &a;
            ctx.where = whereAt(files_[lines_[i].file], lines_[i].line);
            if (!gmExpand(text, raw, ctx)) {
                err_ = ctx.where;
                err_ += ": *** ";
                err_ += ctx.err;
                err_ += ".  Stop.";
                return false;
            }
        }
        long long pos = 0;
        while (strTokenOneNL(one, pos, text)) {
            CxStr1p marks(marks0);
            splitMarks(marks, one);
            if (one.isEmpty()) continue;
            if (oneShell_) {
                // One interpreter for the whole recipe; the first line's marks hold.
                if (shell.isEmpty()) {
                    shell.setMove(marks);
                    if (posix_) shell += kRecipeLineSep;
                } else
                    shell += kRecipeLineSep;
                shell += one;
                continue;
            }
            out += marks;
            if (posix_) out += kRecipeLineSep;
            out += one;
            out += '\n';
        }
    }
    if (!shell.isEmpty()) {
        out += shell;
        out += '\n';
    }
    return true;
}

// A goal's recipe as it is about to run: in the variables of the goal and of
// the goals it was reached through, outermost first.
bool Reader::expand(CxStr1p const& goal, CxStr1p& lines, CxStr1p& err) {
    lines.clear();
    err_.clear();
    GmTarget* t = lookup(goal.c_str(), goal.length());
    if (!t) return true;
    Vect1p_Vobj<GmTarget*> chain;
    for (GmTarget* x = t; x; x = x->via)
        if (!chain.addVal(x)) return fail("out of memory");
    long long n = chain.size();
    std::unique_ptr<GmVars[]> scopes(new (std::nothrow) GmVars[n]);
    if (!scopes) return fail("out of memory");
    // Outermost first: an inner value that adds to an outer one reads it set.
    bool ok = true;
    for (long long k = n - 1; ok && k >= 0; --k) {
        scopes[k].parent = k + 1 < n ? &scopes[k + 1] : &vars_;
        ok = scopeFor(scopes[k], *chain[k], *chain[k]->name);
    }
    ok = ok && recipeText(lines, goal, *t, scopes[0]);
    err.setObj(err_);
    return ok;
}

// A prerequisite that no rule names: made by an implicit rule when one
// applies, else found through vpath, else made by .DEFAULT's recipe.
bool Reader::prereqGoal(GmTarget*& pt, CxStr1p& name, bool fromRule) {
    Pattern const* p = nullptr;
    CxStr1p stem;
    if (!patternRules_.isEmpty() && findImplicit(p, stem, name, 0)) {
        pt = target(name);
        if (!pt || !hashAdd(pt)) return fail("out of memory");
        pt->chain = !fromRule;
        pt->mentioned = fromRule;
        return true;
    }
    CxStr1p found;
    if (!exists(name) && vpathFind(found, name)) {
        name.setMove(found);
        return true;
    }
    if (default_ && default_->hasRecipe && !exists(name)) {
        pt = target(name);
        if (!pt || !hashAdd(pt)) return fail("out of memory");
        pt->recipeHead = default_->recipeHead;
        pt->hasRecipe = pt->searched = true;
    }
    return true;
}

// A missing intermediate file is not made only because it is missing: when the
// goal that needs it is newer than everything the file would be made from,
// the goal does not depend on it this time (true).
bool Reader::keepsMissing(GmTarget& pt, CxStr1p const& pname, CxStr1p const& parent) {
    long long tp = 0;
    return !exists(pname) && fsaTime(tp, parent) && newerThanPrereqs(pt, pname, tp);
}

// Whether time t is as new as every prerequisite of goal pt, which are files
// no recipe will change, as far as reading can tell.
bool Reader::newerThanPrereqs(GmTarget& pt, CxStr1p const& pname, long long t) {
    if (!pt.searched && !applyImplicit(pt, pname)) return false;
    long long tq = 0, s0, n0, pos = 0;
    while (cstrToken(s0, n0, pos, pt.prereqs.c_str(), pt.prereqs.length(), " ", "")) {
        GmTarget* q = lookup(pt.prereqs.c_str() + s0, n0);
        if (q && q->hasRecipe) return false;
        if (!fsaTime(tq, CxStr1p(pt.prereqs.c_str() + s0, n0)) || tq > t) return false;
    }
    return true;
}

// Made by a chain of implicit rules and named by no rule, or listed by
// .INTERMEDIATE or .SECONDARY.
bool Reader::intermediate(GmTarget const& t) const {
    return (t.chain && !t.mentioned) || secondaryAll_ ||
           (!intermediate_.isEmpty() && intermediate_.findNode(*t.name)) ||
           (!secondary_.isEmpty() && secondary_.findNode(*t.name));
}

bool Reader::precious(CxStr1p const& name) const {
    for (CxStr1p const& p : precious_)
        if (p == name || (strHas(p, '%') && patternMatches(p, name))) return true;
    return false;
}

bool Reader::goalMarks(CxStr1p const& goal, GmTarget const& t, bool lazy) {
    if (!hooks_.setMarks) return true;
    // A "::" rule's goal is read as its target's file.
    CxStr1p const& name = t.dblOf ? *t.dblOf->name : goal;
    if (t.dblOf && hooks_.setTimeOf && !hooks_.setTimeOf(goal, name)) return fail("out of memory");
    char m[5] = {};
    int k = 0;
    bool keep = !precious_.isEmpty() && precious(name);
    if (keep) m[k++] = 'k';
    // Secondary files are intermediate but stay.
    bool secondary = secondaryAll_ || (!secondary_.isEmpty() && secondary_.findNode(name));
    if (intermediate(t) && !keep && !secondary) m[k++] = 'i';
    if (t.force) m[k++] = 'f';
    if (lazy) m[k++] = 'l';
    return k == 0 || hooks_.setMarks(goal, m) || fail("out of memory");
}

// Whether recipe lines are written for a POSIX shell: SHELL names one (as a
// path or not, with ".exe" or not) and .SHELLFLAGS, if set, is its "-c".
bool Reader::readShell(bool& posix) {
    CxStr1p shell, flags;
    ctx_.scope = nullptr;
    if (!gmExpandVar(shell, "SHELL", ctx_)) return false;
    if (vars_.findHere(".SHELLFLAGS") && !gmExpandVar(flags, ".SHELLFLAGS", ctx_)) return false;
    shell = trim(shell);
    flags = trim(flags);
    long long cut = 0;
    for (long long i = 0; i < shell.length(); ++i)
        if (shell.c_str()[i] == '/' || shell.c_str()[i] == '\\') cut = i + 1;
    CxStr1p name(shell.c_str() + cut);
    if (name.length() > 4 && strIsEqIcase(CxStr1p(name.c_str() + name.length() - 4), ".exe"))
        name = CxStr1p(name.c_str(), name.length() - 4);
    posix = strIsEqIcaseAlt(name, "sh|bash|dash|ash|ksh|mksh|zsh") &&
            (flags.isEmpty() || flags == "-c");
    return true;
}

bool Reader::finish(StrVect& goals) {
    if (suffixes_ && !in_.noBuiltinRules && !addBuiltins()) return false;
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
    if (out_ && !readShell(out_->posixShell)) return failCtx();
    if (vars_.findHere("VPATH")) {
        CxStr1p dirs;
        ctx_.scope = nullptr;
        if (!gmExpandVar(dirs, "VPATH", ctx_)) return failCtx();
        for (long long i = 0; i < dirs.length(); ++i)
            if (dirs.c_str()[i] == ':') dirs.at(i) = ' ';
        if (!addWords(vpathVar_, dirs)) return fail("out of memory");
    }
    // Goals reached from the requested ones first, so prerequisites inherit
    // their variables; then the Makefiles, which may be remade; then every
    // other goal.
    if (!buildHash()) return fail("out of memory");
    StrVect roots(goals);
    if (roots.isEmpty()) roots.addVal(def);
    for (CxStr1p& r : roots) {
        GmTarget* t = lookup(r.c_str(), r.length());
        // A requested goal without a rule may have an implicit one, or .DEFAULT's.
        if (!t && !prereqGoal(t, r, true)) return false;
        if (t && !emitGoal(*t->name, *t, nullptr, nullptr)) return false;
    }
    for (GmInclude& inc : out_->includes) {
        GmTarget* t = lookup(inc.name.c_str(), inc.name.length());
        Pattern const* p = nullptr;
        CxStr1p stem;
        // A Makefile is not remade by a match-anything rule.
        if (!t && findImplicit(p, stem, inc.name, 0) && !p->anything) {
            t = target(inc.name);
            if (!t || !hashAdd(t)) return fail("out of memory");
        }
        if (!t) continue;
        if (!emitGoal(*t->name, *t, nullptr, nullptr)) return false;
        inc.hasRule = t->hasRecipe;
    }
    for (Named const& n : order_) {
        if (n.name->getAt(0) == '.' && isSpecialTarget(*n.name)) continue;
        if (!emitGoal(*n.name, *n.t, nullptr, nullptr)) return false;
    }
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
            bool all = exportAll_ && v.origin != GmOrigin::Default &&
                       v.origin != GmOrigin::Environment && v.origin != GmOrigin::EnvOverride &&
                       v.origin != GmOrigin::Automatic;
            if (!(v.exported || all) || v.origin == GmOrigin::Undefined) continue;
            CxStr1p value;
            if (!gmExpandVar(value, n.key, ctx_)) return failCtx();
            hooks_.setEnv(n.key, &value);
        }
    }
    return true;
}

} // namespace
