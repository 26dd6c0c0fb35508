#include "base/path.h"

#include <cstring>

namespace {

bool isSep(char c) {
    return c == '/' || c == '\\';
}
bool isNameSep(char c) {
    return c == '/' || c == '\\' || c == ':';
}
bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
char lowerOf(char c) {
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}
char upperOf(char c) {
    return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
}

bool hasDrive(char const* s, long long n) {
    return n >= 2 && isAlpha(s[0]) && s[1] == ':';
}

bool isEq(char const* s, long long n, char const* lit) {
    long long l = (long long)strlen(lit);
    return n == l && memcmp(s, lit, (size_t)l) == 0;
}

bool isEqIcase(char const* a, long long na, char const* b, long long nb) {
    if (na != nb) return false;
    for (long long i = 0; i < na; i++)
        if (lowerOf(a[i]) != lowerOf(b[i])) return false;
    return true;
}

// Sets out to a copy of s[from, to); safe when s lives inside out.
bool setSpan(CxStr1p& out, char const* s, long long from, long long to) {
    if (to <= from) {
        out.forceLen(0);
        return true;
    }
    return out.setCstr(s + from, to - from);
}

bool isDotsOnly(char const* s, long long n) {
    if (n < 1) return false;
    for (long long i = 0; i < n; i++)
        if (s[i] != '.') return false;
    return true;
}

// The file part as a span of p: [start, end).
void filePartSpan(long long& start, long long& end, CxStr1p const& p) {
    char const* s = p.c_str();
    long long n = p.len;
    if (isEq(s, n, "./")) {
        start = 0;
        end = 2;
        return;
    }
    end = n;
    while (end > 0 && isSep(s[end - 1]))
        end--;
    start = end;
    while (start > 0 && !isNameSep(s[start - 1]))
        start--;
}

// The directory part as a new text.
bool dirPartOf(CxStr1p& out, CxStr1p const& p) {
    char const* s = p.c_str();
    long long n = p.len;
    if (n < 1 || isEq(s, n, "./")) return out.setCstr("./");
    long long e = n;
    while (e > 0 && isSep(s[e - 1]))
        e--;
    // A root is its own directory.
    if (e < n && (e == 0 || (e == 2 && hasDrive(s, n)))) {
        CxStr1p r(s, e);
        return r.addVal('/') && out.setMove(r);
    }
    long long k = e - 1;
    while (k >= 0 && !isNameSep(s[k]))
        k--;
    if (k < 0) return out.setCstr("./");
    long long keep = k + 1;
    if (isSep(s[k])) {
        long long j = k;
        while (j > 0 && isSep(s[j - 1]))
            j--;
        // Drop the separators directly before it, keeping the one found.
        CxStr1p r(s, j);
        if (!r.addVal('/')) return false;
        return out.setMove(r);
    }
    CxStr1p r(s, keep);
    return out.setMove(r);
}

// Position of the "." that starts the extension within the file part, -1 without.
long long extDot(CxStr1p const& p, bool first) {
    long long start, end;
    filePartSpan(start, end, p);
    char const* s = p.c_str();
    if (first) {
        for (long long i = start; i < end; i++)
            if (s[i] == '.') return i;
    } else {
        for (long long i = end - 1; i >= start; i--)
            if (s[i] == '.') return i;
    }
    return -1;
}

bool namePartSet(CxStr1p& p, bool first) {
    long long start, end;
    filePartSpan(start, end, p);
    long long dot = extDot(p, first);
    return setSpan(p, p.c_str(), start, dot >= 0 ? dot : end);
}

bool extPartSet(CxStr1p& p, bool first) {
    long long start, end;
    filePartSpan(start, end, p);
    long long dot = extDot(p, first);
    if (dot < 0) {
        p.forceLen(0);
        return true;
    }
    return setSpan(p, p.c_str(), dot + 1, end);
}

bool hasExt(CxStr1p const& p, CxStr1p const& ext, bool first) {
    long long start, end;
    filePartSpan(start, end, p);
    long long dot = extDot(p, first);
    char const* e = ext.c_str();
    long long ne = ext.len;
    if (ne > 0 && e[0] == '.') { // ".exe" means "exe"
        e++;
        ne--;
    }
    if (dot < 0) return ne == 0;
    return isEqIcase(p.c_str() + dot + 1, end - dot - 1, e, ne);
}

bool delExt(CxStr1p& p, CxStr1p const& ext, bool first) {
    if (!hasExt(p, ext, first)) return false;
    long long dot = extDot(p, first);
    if (dot < 0) return false;
    long long start, end;
    filePartSpan(start, end, p);
    // Trailing separators stay after the shortened name.
    return p.delSpan(dot, end - dot);
}

} // namespace

bool pathIsAbsolute(CxStr1p const& p) {
    char const* s = p.c_str();
    if (p.len < 1 || s[0] == '.') return false;
    if (isSep(s[0])) return true;
    return p.len >= 3 && hasDrive(s, p.len) && isSep(s[2]);
}

bool pathIsRelative(CxStr1p const& p) {
    return !pathIsAbsolute(p);
}

bool pathIsRoot(CxStr1p const& p) {
    char const* s = p.c_str();
    if (p.len == 1) return isSep(s[0]);
    if (p.len == 2) return hasDrive(s, 2);
    if (p.len == 3) return hasDrive(s, 3) && isSep(s[2]);
    return false;
}

bool pathBanRm(CxStr1p const& p) {
    char const* s = p.c_str();
    long long n = p.len;
    if (n < 1 || isEq(s, n, ".") || isEq(s, n, "..") || isEq(s, n, "./") || isEq(s, n, "../"))
        return true;
    if (pathIsRoot(p)) return true;
    // Spellings of the same places: "//", "/x/..", "a/..", ".\", "../..".
    CxStr1p c = pathCleanAll(p);
    if (pathIsRoot(c)) return true;
    char const* r = c.c_str();
    long long nr = c.len;
    if (hasDrive(r, nr)) {
        r += 2;
        nr -= 2;
    }
    for (long long i = 0; i < nr; i++)
        if (r[i] != '.' && r[i] != '/') return false;
    return true;
}

bool pathToSlashSet(CxStr1p& p) {
    for (long long i = 0; i < p.len; i++)
        if (p.data[i] == '\\') p.data[i] = '/';
    return pathToLowerDrvSet(p);
}

CxStr1p pathToSlash(CxStr1p const& p) {
    CxStr1p r(p);
    pathToSlashSet(r);
    return r;
}

bool pathToBackSlashSet(CxStr1p& p, bool doubled) {
    long long extra = 0;
    for (long long i = 0; i < p.len; i++) {
        if (p.data[i] == '/') p.data[i] = '\\';
        if (p.data[i] == '\\') extra++;
    }
    pathToUpperDrvSet(p);
    if (!doubled || extra == 0) return true;
    CxStr1p r;
    if (!r.reserve(p.len + extra + 1)) return false;
    for (long long i = 0; i < p.len; i++) {
        if (p.data[i] == '\\') r.addVal('\\');
        r.addVal(p.data[i]);
    }
    return p.setMove(r);
}

CxStr1p pathToBackSlash(CxStr1p const& p, bool doubled) {
    CxStr1p r(p);
    pathToBackSlashSet(r, doubled);
    return r;
}

// The tool's native form is the Windows one on every platform.
bool pathToNativeOSSet(CxStr1p& p) {
    return pathToBackSlashSet(p, false);
}
CxStr1p pathToNativeOS(CxStr1p const& p) {
    return pathToBackSlash(p, false);
}

bool pathToLowerDrvSet(CxStr1p& p) {
    if (hasDrive(p.c_str(), p.len)) p.data[0] = lowerOf(p.data[0]);
    return true;
}

CxStr1p pathToLowerDrv(CxStr1p const& p) {
    CxStr1p r(p);
    pathToLowerDrvSet(r);
    return r;
}

bool pathToUpperDrvSet(CxStr1p& p) {
    if (hasDrive(p.c_str(), p.len)) p.data[0] = upperOf(p.data[0]);
    return true;
}

CxStr1p pathToUpperDrv(CxStr1p const& p) {
    CxStr1p r(p);
    pathToUpperDrvSet(r);
    return r;
}

bool pathCleanSepSet(CxStr1p& p) {
    long long o = 0;
    for (long long i = 0; i < p.len; i++) {
        char c = p.data[i];
        if (isSep(c)) {
            if (o > 0 && p.data[o - 1] == '/') continue;
            c = '/';
        } else if (c == ':' && o > 0 && p.data[o - 1] == ':') {
            continue;
        }
        p.data[o++] = c;
    }
    p.forceLen(o);
    return true;
}

CxStr1p pathCleanSep(CxStr1p const& p) {
    CxStr1p r(p);
    pathCleanSepSet(r);
    return r;
}

bool pathCleanDotsSet(CxStr1p& p) {
    char const* in = p.c_str();
    long long n = p.len;
    long long drv = hasDrive(in, n) ? 2 : 0;
    char const* s = in + drv;
    n -= drv;
    if (isEq(s, n, "/") || isEq(s, n, ".") || isEq(s, n, "./") || isEq(s, n, "..") ||
        isEq(s, n, "../"))
        return true;
    bool rooted = n > 0 && s[0] == '/';
    CxStr1p o;
    if (!o.reserve(drv + n + 4)) return false;
    for (long long i = 0; i < n;) {
        bool afterSep = i > 0 && s[i - 1] == '/';
        if (afterSep && s[i] == '.' && i + 1 < n && s[i + 1] == '/') {
            i += 2; // "/./" is "/"
            continue;
        }
        if (afterSep && s[i] == '.' && i + 2 < n && s[i + 1] == '.' && s[i + 2] == '/') {
            i += 3;
            // o ends with the "/" before this "../"; the name before it goes.
            long long nameEnd = o.len - 1;
            long long b = nameEnd;
            while (b > 0 && o.data[b - 1] != '/')
                b--;
            if (o.len < 1 || isDotsOnly(o.data + b, nameEnd - b)) {
                o.addCstr("../");
            } else if (nameEnd == 0) {
                // "/../" at the root stays at the root
            } else {
                o.forceLen(b); // b == 0: the name started the text
            }
            continue;
        }
        o.addVal(s[i++]);
    }
    if (o.len >= 3 && memcmp(o.data + o.len - 3, "/..", 3) == 0) {
        long long nameEnd = o.len - 3;
        long long b = nameEnd;
        while (b > 0 && o.data[b - 1] != '/')
            b--;
        if (nameEnd == 0) {
            o.forceLen(0); // "/.." is the root, put back below
        } else if (!isDotsOnly(o.data + b, nameEnd - b)) {
            o.forceLen(b > 0 ? b - 1 : 0);
        }
    } else if (o.len >= 3 && memcmp(o.data + o.len - 2, "/.", 2) == 0) {
        o.forceLen(o.len - 2);
    }
    if (o.len >= 3 && o.data[0] == '.' && o.data[1] == '/') o.delSpan(0, 2);
    if (rooted && o.len == 0 && !o.addVal('/')) return false;
    if (drv && !o.insAt(0, in, 2)) return false;
    return p.setMove(o);
}

CxStr1p pathCleanDots(CxStr1p const& p) {
    CxStr1p r(p);
    pathCleanDotsSet(r);
    return r;
}

bool pathCleanAllSet(CxStr1p& p) {
    return pathCleanSepSet(p) && pathCleanDotsSet(p);
}

CxStr1p pathCleanAll(CxStr1p const& p) {
    CxStr1p r(p);
    pathCleanAllSet(r);
    return r;
}

bool pathDirPartSet(CxStr1p& p) {
    CxStr1p r;
    return dirPartOf(r, p) && p.setMove(r);
}

CxStr1p pathDirPart(CxStr1p const& p) {
    CxStr1p r;
    dirPartOf(r, p);
    return r;
}

bool pathFilePartSet(CxStr1p& p) {
    long long start, end;
    filePartSpan(start, end, p);
    return setSpan(p, p.c_str(), start, end);
}

CxStr1p pathFilePart(CxStr1p const& p) {
    CxStr1p r(p);
    pathFilePartSet(r);
    return r;
}

bool pathSplit(CxStr1p& dir, CxStr1p& file, CxStr1p const& p) {
    if (&dir == &file) return false;
    CxStr1p d, f(p);
    if (!dirPartOf(d, p) || !pathFilePartSet(f)) return false;
    return dir.setMove(d) && file.setMove(f);
}

bool pathNamePartSet(CxStr1p& p) {
    return namePartSet(p, false);
}
CxStr1p pathNamePart(CxStr1p const& p) {
    CxStr1p r(p);
    namePartSet(r, false);
    return r;
}

bool pathNameOnlyPartSet(CxStr1p& p) {
    return namePartSet(p, true);
}
CxStr1p pathNameOnlyPart(CxStr1p const& p) {
    CxStr1p r(p);
    namePartSet(r, true);
    return r;
}

bool pathExtPartSet(CxStr1p& p) {
    return extPartSet(p, false);
}
CxStr1p pathExtPart(CxStr1p const& p) {
    CxStr1p r(p);
    extPartSet(r, false);
    return r;
}

bool pathExtAllPartSet(CxStr1p& p) {
    return extPartSet(p, true);
}
CxStr1p pathExtAllPart(CxStr1p const& p) {
    CxStr1p r(p);
    extPartSet(r, true);
    return r;
}

bool pathHasExtIcase(CxStr1p const& p, CxStr1p const& ext) {
    return hasExt(p, ext, false);
}
bool pathHasExtAllIcase(CxStr1p const& p, CxStr1p const& ext) {
    return hasExt(p, ext, true);
}
bool pathDelExtIcase(CxStr1p& p, CxStr1p const& ext) {
    return delExt(p, ext, false);
}
bool pathDelExtAllIcase(CxStr1p& p, CxStr1p const& ext) {
    return delExt(p, ext, true);
}

bool pathJoinSet(CxStr1p& out, CxStr1p const& a, CxStr1p const& b) {
    char const* sa = a.c_str();
    char const* sb = b.c_str();
    long long na = a.len, nb = b.len;
    long long bFrom = nb > 0 && isSep(sb[0]) ? 1 : 0;
    CxStr1p r;
    if (na < 1) {
        if (!r.setCstr(sb + bFrom, nb - bFrom)) return false;
        return out.setMove(r);
    }
    if (nb < 1) {
        long long e = na;
        // Keep a first character and a separator after ":" (roots "/", "C:/").
        while (e > 1 && isSep(sa[e - 1]) && sa[e - 2] != ':')
            e--;
        if (!r.setCstr(sa, e)) return false;
        return out.setMove(r);
    }
    if (!r.reserve(na + nb + 2) || !r.setCstr(sa, na)) return false;
    if (!isSep(sa[na - 1]) && !r.addVal('/')) return false;
    if (!r.addCstr(sb + bFrom, nb - bFrom)) return false;
    return out.setMove(r);
}

CxStr1p pathJoin(CxStr1p const& a, CxStr1p const& b) {
    CxStr1p r;
    pathJoinSet(r, a, b);
    return r;
}

bool pathAddSet(CxStr1p& a, CxStr1p const& b) {
    return pathJoinSet(a, a, b);
}
bool pathPrependSet(CxStr1p& a, CxStr1p const& b) {
    return pathJoinSet(a, b, a);
}

bool pathCommonSet(CxStr1p& out, CxStr1p const& a, CxStr1p const& b) {
    char const* sa = a.c_str();
    char const* sb = b.c_str();
    long long n = a.len < b.len ? a.len : b.len;
    long long keep = 0;
    for (long long i = 0; i <= n; i++) {
        char ca = i < a.len ? sa[i] : 0;
        char cb = i < b.len ? sb[i] : 0;
        if (i == n) {
            // One path ends here: a boundary when the other ends or goes on with a separator.
            if (ca == cb || isSep(ca) || isSep(cb)) keep = n;
            break;
        }
        if (ca != cb) break;
        if (isSep(ca)) keep = i + 1;
    }
    return setSpan(out, sa, 0, keep);
}

CxStr1p pathCommon(CxStr1p const& a, CxStr1p const& b) {
    CxStr1p r;
    pathCommonSet(r, a, b);
    return r;
}

bool isPathDevIO(CxStr1p const& p) {
    char const* s = p.c_str();
    return isEq(s, p.len, "/dev/stdin") || isEq(s, p.len, "/dev/stdout") ||
           isEq(s, p.len, "/dev/stderr") || isEq(s, p.len, "/dev/null");
}

bool isPathNormal(CxStr1p const& p) {
    return !p.isEmpty() && !isPathDevIO(p);
}

bool pathFindNextName(long long& pos, long long& end, CxStr1p const& p) {
    char const* s = p.c_str();
    long long i = pos < 0 ? 0 : pos;
    while (i < p.len && isNameSep(s[i]))
        i++;
    if (i >= p.len) {
        pos = end = p.len;
        return false;
    }
    long long e = i;
    while (e < p.len && !isNameSep(s[e]))
        e++;
    pos = i;
    end = e;
    return true;
}

bool pathFindLastName(long long& start, long long& end, CxStr1p const& p) {
    char const* s = p.c_str();
    long long e = p.len;
    while (e > 0 && isNameSep(s[e - 1]))
        e--;
    long long b = e;
    while (b > 0 && !isNameSep(s[b - 1]))
        b--;
    start = b;
    end = e;
    return e > b;
}

bool pathFindSepAtEnd(long long& pos, CxStr1p const& p) {
    char const* s = p.c_str();
    long long i = p.len;
    while (i > 0 && isSep(s[i - 1]))
        i--;
    pos = i;
    return i < p.len;
}

bool pathFindSep4Split(long long& pos, CxStr1p const& p, bool skipTrailing) {
    char const* s = p.c_str();
    long long i = p.len;
    if (skipTrailing)
        while (i > 0 && isSep(s[i - 1]))
            i--;
    while (i > 0 && !isNameSep(s[i - 1]))
        i--;
    pos = i - 1;
    return i > 0;
}
