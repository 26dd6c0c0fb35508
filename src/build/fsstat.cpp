// File status records, bags of them, and the newest-time scan of trees.
#include "build/fsstat.h"

#include <cstring>

#include "base/fs.h"
#include "base/path.h"
#include "base/textedit.h"
#include "base/tokens.h"

namespace {

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

} // namespace

void FsStat::clear() {
    *this = FsStat();
}

bool FsStat::isValid() const {
    return bType != 0 && aType != 0 && bSize >= 0 && aSize >= 0 && bTime > 0 && aTime > 0;
}

bool FsStat::readStat(CxStr1p const& path) {
    clear();
    if (path.isEmpty()) return false;
    FsStatBuf st;
    if (!fsbStat(st, path)) return false;
    bType = fsStatType(st);
    fsStatSizeTime(bSize, bTime, st);
    isExe = fsStatIsExe(st);
    if (bType != 'L') {
        aType = bType;
        aSize = bSize;
        aTime = bTime;
        return true;
    }
    // A dangling link keeps its own fields and reports false.
    if (!fsaStat(st, path)) {
        isExe = false;
        return false;
    }
    aType = fsStatType(st);
    fsStatSizeTime(aSize, aTime, st);
    isExe = fsStatIsExe(st);
    return true;
}

bool FsStat::fsbIsType(char ch) const {
    ch = upper(ch);
    return ch == 'X' ? isExe : bType == ch;
}

bool FsStat::fsaIsType(char ch) const {
    ch = upper(ch);
    return ch == 'X' ? isExe : aType == ch;
}

FsStat fileFsStat(CxStr1p const& path) {
    FsStat st;
    st.readStat(path);
    return st;
}

bool fileFsStatSet(FsStat& st, CxStr1p const& path) {
    return st.readStat(path);
}

// ---- Bags

namespace {

// Reads when needed; `entry` ends up pointing at the stored status (or at
// `fresh` when the bag could not take it).
bool bagAdd(FsStatBag& bag, CxStr1p const& path, FsStat& fresh, FsStat const*& entry) {
    FsStat* e = bag.find(path);
    if (e && e->bType != 0) {
        entry = e;
        return false;
    }
    bool had = e != nullptr;
    fresh.readStat(path);
    if (!bag.setKV(path, fresh)) {
        entry = &fresh;
        return false;
    }
    entry = bag.find(path);
    if (!entry) entry = &fresh;
    return !had;
}

void raise(long long& lmt, long long t) {
    if (t > lmt) lmt = t;
}

bool updateSub(AvlNode<CxStr1p, FsStat>* n, bool all) {
    if (!n) return true;
    bool ok = updateSub(n->left, all);
    if (all || n->val.bType == 0) ok = n->val.readStat(n->key) && ok;
    return updateSub(n->right, all) && ok;
}

} // namespace

bool bagFsStatAdd(FsStatBag& bag, CxStr1p const& path) {
    FsStat fresh;
    FsStat const* entry;
    return bagAdd(bag, path, fresh, entry);
}

bool bagFsStatSet(FsStatBag& bag, CxStr1p const& path) {
    FsStat st;
    st.readStat(path);
    return bag.setKV(path, st);
}

bool bagFsStatAdd_UpdLmt(FsStatBag& bag, long long& lmt, CxStr1p const& path) {
    FsStat fresh;
    FsStat const* entry;
    bool r = bagAdd(bag, path, fresh, entry);
    raise(lmt, entry->aTime);
    return r;
}

bool bagFsStatSet_UpdLmt(FsStatBag& bag, long long& lmt, CxStr1p const& path) {
    FsStat st;
    st.readStat(path);
    bool r = bag.setKV(path, st);
    raise(lmt, st.aTime);
    return r;
}

long long bagFsStatLmt(FsStatBag const& bag) {
    long long lmt = 0;
    for (auto const& n : bag)
        raise(lmt, n.val.aTime);
    return lmt;
}

bool bagFsStatFindIndexGETime(CxStr1p& pathOut, long long& timeOut, FsStatBag const& bag,
                              long long minTime) {
    for (auto const& n : bag) {
        if (n.val.aTime >= minTime) {
            timeOut = n.val.aTime;
            return pathOut.setObj(n.key);
        }
    }
    pathOut.clear();
    timeOut = 0;
    return false;
}

bool bagFsStatUpdate(FsStatBag& bag, bool all) {
    if (bag.isEmpty()) return false;
    bool ok = true;
    for (auto& n : bag)
        if (all || n.val.bType == 0) ok = n.val.readStat(n.key) && ok;
    return ok;
}

bool bagFsStatUpdateRec(FsStatBag& bag, bool all) {
    if (bag.isEmpty()) return false;
    return updateSub(bag.root, all);
}

// ---- Newest time in trees

namespace {

struct LmtScan {
    bool oneLevel = false;
    bool follow = false;   // types with links followed
    bool linkDirs = false; // descend into linked directories
    char type = 0;
    long long best = 0;
    // Real paths of the trees scanned so far (whole trees unless oneLevel).
    StrVect trees;

    bool counts(FsStat const& st) const {
        if (st.aType == 'D') return false; // a directory's own time never counts
        if (type == 0) return true;
        return follow ? st.fsaIsType(type) : st.fsbIsType(type);
    }

    bool insideScanned(CxStr1p const& real) const {
        for (CxStr1p const& t : trees) {
            if (real == t) return true;
            if (oneLevel) continue;
            if (strHasStart(real, t) && (t.last() == '/' || real.getAt(t.len) == '/')) return true;
        }
        return false;
    }

    void scanDir(CxStr1p const& dir) {
        FsDir d;
        if (!d.open(dir)) return;
        CxStr1p name;
        while (d.nextInDir(name)) {
            CxStr1p p = pathJoin(dir, name);
            FsStat st;
            st.readStat(p);
            if (counts(st)) {
                if (st.aTime > best) best = st.aTime;
                continue;
            }
            if (oneLevel || st.aType != 'D') continue;
            if (st.bType == 'D') {
                scanDir(p);
            } else if (linkDirs && st.bType == 'L') {
                CxStr1p real;
                if (!fsRealPath(real, p) || insideScanned(real)) continue;
                if (!trees.addVal(real)) continue;
                scanDir(p);
            }
        }
    }
};

} // namespace

bool lsLmtSet(char const* flags, long long& out, CxStr1p const& paths, char type) {
    LmtScan scan;
    if (!flags) flags = "";
    scan.oneLevel = strchr(flags, '.') != nullptr;
    scan.follow = strchr(flags, 'L') != nullptr;
    scan.linkDirs = strchr(flags, 'S') != nullptr;
    scan.type = type;
    StrSet seen;
    CxStr1p p;
    long long pos = 0;
    while (strToken(p, pos, paths, "|\r\n")) {
        strDelEndPsep(p);
        if (p.isEmpty() || seen.hasIdx(p)) continue;
        seen.addK(p);
        FsStat st;
        st.readStat(p);
        if (st.aType != 'D') {
            if (scan.counts(st) && st.aTime > scan.best) scan.best = st.aTime;
            continue;
        }
        // A listed directory is scanned once, however it is spelled.
        CxStr1p real;
        if (!fsRealPath(real, p)) real = p;
        if (scan.insideScanned(real)) continue;
        scan.trees.addVal(real);
        scan.scanDir(p);
    }
    out = scan.best;
    return out > 0;
}

long long lsLmt(char const* flags, CxStr1p const& paths, char type) {
    long long t = 0;
    lsLmtSet(flags, t, paths, type);
    return t;
}
