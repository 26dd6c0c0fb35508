// Portable part of the file system operations, built on the platform layer
// of fs_win.cpp / fs_posix.cpp.
#include "base/fs.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/containers.h"
#include "base/fs_sys.h"
#include "base/path.h"
#include "base/textedit.h"
#include "base/tokens.h"

namespace {

constexpr long long kBlock = 4096;

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

bool hasLetter(char const* mode, char c) {
    return mode && strchr(mode, c) != nullptr;
}

bool isSep(char c) {
    return c == '/' || c == '\\';
}

void backToSlash(CxStr1p& s) {
    for (long long i = 0; i < s.len; i++)
        if (s.data[i] == '\\') s.data[i] = '/';
}

bool isTypeOf(FsStatBuf const& st, char ch) {
    ch = upper(ch);
    if (ch == 'X') return fsStatIsExe(st);
    return st.type == ch;
}

int cmp3(long long a, long long b) {
    if (b <= 0) return a > 0 ? 1 : 0;
    return a < b ? -1 : (a > b ? 1 : 0);
}

} // namespace

// ---- Through the platform table; checks both platforms share are made here.
bool fsbStat(FsStatBuf& st, CxStr1p const& p) {
    st = FsStatBuf();
    return !p.isEmpty() && fsSys().fsbStat(st, p);
}
bool fsaStat(FsStatBuf& st, CxStr1p const& p) {
    st = FsStatBuf();
    return !p.isEmpty() && fsSys().fsaStat(st, p);
}
bool fsaStatListed(FsStatBuf& st, CxStr1p const& p) {
    return fsSys().fsaStatListed(st, p);
}
void fsStatListsUse(bool on) {
    fsSys().fsStatListsUse(on);
}
bool fsStatAheadPays() {
    return fsSys().fsStatAheadPays();
}
bool fsSetExeBits(CxStr1p const& p, bool on) {
    return fsSys().fsSetExeBits(p, on);
}
bool fsIsSameFile(CxStr1p const& a, CxStr1p const& b) {
    if (a.isEmpty() || b.isEmpty()) return false;
    return fsSys().fsIsSameFile(a, b);
}
bool fsCd(CxStr1p const& path, bool ifEmpty) {
    if (path.isEmpty()) return ifEmpty;
    return fsSys().fsCd(path);
}
bool fsCwdSet(CxStr1p& out) {
    return fsSys().fsCwdSet(out);
}
long long fsPathMaxBytes() {
    return fsSys().fsPathMaxBytes();
}
bool fsMkDir(CxStr1p const& p) {
    if (p.isEmpty()) return false;
    return fsSys().fsMkDir(p);
}
bool fsRmEntry(CxStr1p const& p) {
    return fsSys().fsRmEntry(p);
}
bool fsSetTime(CxStr1p const& p, long long ns, bool follow) {
    return fsSys().fsSetTime(p, ns, follow);
}
bool fsCreateEmpty(CxStr1p const& p) {
    if (p.isEmpty()) return false;
    return fsSys().fsCreateEmpty(p);
}
bool fsSetSize(CxStr1p const& p, long long size) {
    if (p.isEmpty() || size < 0) return false;
    return fsSys().fsSetSize(p, size);
}
bool fsRename(CxStr1p const& src, CxStr1p const& dst) {
    if (src.isEmpty() || dst.isEmpty()) return false;
    return fsSys().fsRename(src, dst);
}
bool fsMkSymLink(CxStr1p const& link, CxStr1p const& target) {
    if (link.isEmpty() || target.isEmpty()) return false;
    // The link must be there afterwards, whatever the call reported.
    return fsSys().fsMkSymLink(link, target) && fsbIsLink(link);
}
bool fsReadLink(CxStr1p& out, CxStr1p const& p) {
    out.clear();
    if (p.isEmpty()) return false;
    return fsSys().fsReadLink(out, p);
}
bool fsRealPath(CxStr1p& out, CxStr1p const& p) {
    out.clear();
    if (p.isEmpty()) return false;
    return fsSys().fsRealPath(out, p);
}
char fsPathListSep() {
    return fsSys().fsPathListSep();
}
char const* fsExeSuffix() {
    return fsSys().fsExeSuffix();
}
bool fsExePathFind(CxStr1p& out, char const* argv0) {
    out.clear();
    return fsSys().fsExePathFind(out, argv0);
}
int fsFdOpen(CxStr1p const& p, char how, int perm) {
    if (p.isEmpty()) return -1;
    return fsSys().fsFdOpen(p, how, perm);
}
FILE* fsFopen(char const* path, char const* mode) {
    if (!path || !mode) return nullptr;
    return fsSys().fsFopen(path, mode);
}
bool fsAppendBytes(CxStr1p const& p, char const* data, long long n) {
    if (p.isEmpty()) return false;
    return fsSys().fsAppendBytes(p, data, n);
}
int fsFilePerm(CxStr1p const& p) {
    return fsSys().fsFilePerm(p);
}
bool regReadStrSet(CxStr1p& out, CxStr1p const& key, CxStr1p const& name) {
    out.clear();
    return fsSys().regReadStrSet(out, key, name);
}

bool FsDir::open(CxStr1p const& path) {
    if (impl || path.isEmpty()) return false;
    impl = fsSys().dirOpen(path);
    return impl != nullptr;
}

bool FsDir::close() {
    if (!impl) return true;
    bool ok = fsSys().dirClose(impl);
    impl = nullptr;
    return ok;
}

bool FsDir::nextRaw(CxStr1p& out) {
    return impl && fsSys().dirNext(impl, out);
}

// ---- Descriptors
bool fsFdClose(int fd) {
    return fd >= 0 && fsSys().fdClose(fd) == 0;
}

long long fdReadRaw(int fd, char* buf, long long n) {
    return fsSys().fdRead(fd, buf, n);
}
long long fdWriteRaw(int fd, char const* buf, long long n) {
    return fsSys().fdWrite(fd, buf, n);
}
int fdCloseRaw(int fd) {
    return fsSys().fdClose(fd);
}
int fdDupRaw(int fd) {
    return fsSys().fdDup(fd);
}
int fdDup2Raw(int a, int b) {
    return fsSys().fdDup2(a, b);
}
int fdOpenRaw(char const* path, int flags) {
    return fsSys().fdOpen(path, flags);
}
int fdOpenFlags(char const* mode) {
    FsOpenBits const& b = fsSys().openBits;
    int fl = b.rdOnly;
    if (strchr(mode, 'w')) fl |= b.wrOnly | b.create | b.trunc;
    if (strchr(mode, 'a')) fl |= b.wrOnly | b.create | b.append;
    if (strchr(mode, 't')) fl |= b.wrOnly | b.create;
    if (strchr(mode, 'b')) fl |= b.binary;
    return fl;
}
FILE* fdStreamRaw(int fd, char const* mode) {
    return fsSys().fdStream(fd, mode);
}
int fdOfStreamRaw(FILE* fs) {
    return fsSys().streamFd(fs);
}
char const* fdNullPath() {
    return fsSys().nullPath;
}

bool cbufReadFd(int fd, char* buf, long long size, long long& done, int& err) {
    done = 0;
    err = 0;
    if (fd < 0) {
        err = EBADF;
        return false;
    }
    if (size < 1) return true;
    long long n;
    do {
        n = fsSys().fdRead(fd, buf, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        err = errno;
        return false;
    }
    done = n;
    return true;
}

bool cbufWriteFd(int fd, char const* buf, long long n, long long& done, int& err) {
    done = 0;
    err = 0;
    if (fd < 0) {
        err = EBADF;
        return false;
    }
    while (done < n) {
        long long w = fsSys().fdWrite(fd, buf + done, n - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            err = w < 0 ? errno : EIO;
            return false;
        }
        done += w;
    }
    return true;
}

// ---- Status

char fsStatType(FsStatBuf const& st) {
    return st.type;
}

bool fsStatSizeTime(long long& size, long long& time, FsStatBuf const& st) {
    size = st.size > 0 ? st.size : 0;
    time = st.time > 0 ? st.time : 0;
    return time > 0;
}

bool fsStatIsExe(FsStatBuf const& st) {
    return st.type == 'F' && st.isExe;
}

bool fsbExist(CxStr1p const& p) {
    FsStatBuf st;
    return fsbStat(st, p);
}

bool fsaExist(CxStr1p const& p) {
    FsStatBuf st;
    return fsaStat(st, p);
}

char fsbType(CxStr1p const& p) {
    FsStatBuf st;
    fsbStat(st, p);
    return st.type;
}

char fsaType(CxStr1p const& p) {
    FsStatBuf st;
    fsaStat(st, p);
    return st.type;
}

bool fsbIsType(char ch, CxStr1p const& p) {
    FsStatBuf st;
    fsbStat(st, p);
    return isTypeOf(st, ch);
}

bool fsaIsType(char ch, CxStr1p const& p) {
    FsStatBuf st;
    fsaStat(st, p);
    return isTypeOf(st, ch);
}

bool fsbIsDir(CxStr1p const& p) {
    return fsbType(p) == 'D';
}

bool fsbIsNotDir(CxStr1p const& p) {
    FsStatBuf st;
    return fsbStat(st, p) && st.type != 'D';
}

bool fsbIsFile(CxStr1p const& p) {
    return fsbType(p) == 'F';
}

bool fsbIsExe(CxStr1p const& p) {
    return fsbIsType('X', p);
}

bool fsbIsLink(CxStr1p const& p) {
    return fsbType(p) == 'L';
}

bool fsaIsDir(CxStr1p const& p) {
    return fsaType(p) == 'D';
}

bool fsaIsNotDir(CxStr1p const& p) {
    FsStatBuf st;
    return fsaStat(st, p) && st.type != 'D';
}

bool fsaIsFile(CxStr1p const& p) {
    return fsaType(p) == 'F';
}

bool fsaIsExe(CxStr1p const& p) {
    return fsaIsType('X', p);
}

bool fsbSize(long long& size, CxStr1p const& p) {
    FsStatBuf st;
    bool ok = fsbStat(st, p);
    long long t;
    fsStatSizeTime(size, t, st);
    return ok;
}

bool fsaSize(long long& size, CxStr1p const& p) {
    FsStatBuf st;
    bool ok = fsaStat(st, p);
    long long t;
    fsStatSizeTime(size, t, st);
    return ok;
}

long long fsbSize(CxStr1p const& p) {
    long long s;
    fsbSize(s, p);
    return s;
}

long long fsaSize(CxStr1p const& p) {
    long long s;
    fsaSize(s, p);
    return s;
}

bool fsbTime(long long& time, CxStr1p const& p) {
    FsStatBuf st;
    fsbStat(st, p);
    long long s;
    return fsStatSizeTime(s, time, st);
}

bool fsaTime(long long& time, CxStr1p const& p) {
    FsStatBuf st;
    fsaStat(st, p);
    long long s;
    return fsStatSizeTime(s, time, st);
}

long long fsbTime(CxStr1p const& p) {
    long long t;
    fsbTime(t, p);
    return t;
}

long long fsaTime(CxStr1p const& p) {
    long long t;
    fsaTime(t, p);
    return t;
}

bool fsbSizeTime(long long& size, long long& time, CxStr1p const& p) {
    FsStatBuf st;
    bool ok = fsbStat(st, p);
    fsStatSizeTime(size, time, st);
    return ok;
}

bool fsaSizeTime(long long& size, long long& time, CxStr1p const& p) {
    FsStatBuf st;
    bool ok = fsaStat(st, p);
    fsStatSizeTime(size, time, st);
    return ok;
}

int fsbCmpTime(CxStr1p const& a, CxStr1p const& b) {
    return cmp3(fsbTime(a), fsbTime(b));
}

int fsaCmpTime(CxStr1p const& a, CxStr1p const& b) {
    return cmp3(fsaTime(a), fsaTime(b));
}

int fsbCmpSize(CxStr1p const& a, CxStr1p const& b) {
    return cmp3(fsbSize(a), fsbSize(b));
}

int fsaCmpSize(CxStr1p const& a, CxStr1p const& b) {
    return cmp3(fsaSize(a), fsaSize(b));
}

bool fsaSetExe(CxStr1p const& p, char ch, bool on) {
    FsStatBuf st;
    if (!fsaStat(st, p)) return false;
    ch = upper(ch);
    if (ch && ch != 'X' && st.type != ch) return false;
    if (st.type == 'F') fsSetExeBits(p, on);
    return fsaIsExe(p) == on;
}

// ---- Working directory

namespace {

CxStr1p g_origCwd;
bool g_origCwdSet = false;

CxStr1p g_exePath;
bool g_exePathSet = false;

} // namespace

CxStr1p fsCwd() {
    CxStr1p r;
    fsCwdSet(r);
    return r;
}

bool fsInitOrigCwd(char const* text) {
    CxStr1p s;
    if (text && text[0])
        s.setCstr(text);
    else
        fsCwdSet(s);
    backToSlash(s);
    g_origCwd.setMove(s);
    g_origCwdSet = true;
    return !g_origCwd.isEmpty();
}

bool fsOrigCwdSet(CxStr1p& out) {
    if (!g_origCwdSet) fsInitOrigCwd();
    return out.setObj(g_origCwd) && !out.isEmpty();
}

CxStr1p fsOrigCwd() {
    CxStr1p r;
    fsOrigCwdSet(r);
    return r;
}

bool fsCdOrigCwd() {
    return fsCd(fsOrigCwd());
}

// ---- Directories

bool fsMkDirRec(CxStr1p const& p) {
    if (p.isEmpty()) return false;
    if (fsaIsDir(p) || fsMkDir(p)) return true;
    char const* s = p.c_str();
    // From the end: the longest leading part that is or becomes a directory.
    long long from = -1;
    for (long long i = p.len - 1; i > 0; i--) {
        if (!isSep(s[i]) || isSep(s[i - 1])) continue;
        if (fsMkDir(CxStr1p(s, i))) {
            from = i;
            break;
        }
    }
    if (from < 0) return false;
    for (long long i = from + 1; i < p.len; i++) {
        if (!isSep(s[i]) || isSep(s[i - 1])) continue;
        if (!fsMkDir(CxStr1p(s, i))) return false;
    }
    return fsMkDir(p);
}

bool fsMkDirPartRec(CxStr1p const& p) {
    if (p.isEmpty()) return false;
    return fsMkDirRec(pathDirPart(p));
}

// ---- Executable of this process

bool fsInitExePath(char const* argv0) {
    CxStr1p r;
    fsExePathFind(r, argv0);
    g_exePath.setMove(r);
    g_exePathSet = true;
    return !g_exePath.isEmpty();
}

bool fsExePathSet(CxStr1p& out) {
    if (!g_exePathSet) fsInitExePath();
    out.setObj(g_exePath);
    return pathIsAbsolute(g_exePath);
}

bool fsExeDirSet(CxStr1p& out) {
    if (!g_exePathSet) fsInitExePath();
    out.clear();
    if (!g_exePath.isEmpty()) {
        out = pathDirPart(g_exePath);
        strDelEndPsep(out);
    }
    return pathIsAbsolute(g_exePath);
}

bool fsExeNameSet(CxStr1p& out) {
    if (!g_exePathSet) fsInitExePath();
    out.clear();
    if (!g_exePath.isEmpty()) {
        out = pathFilePart(g_exePath);
        pathDelExtIcase(out, "exe");
    }
    return pathIsAbsolute(g_exePath);
}

CxStr1p fsExePath() {
    CxStr1p r;
    fsExePathSet(r);
    return r;
}

CxStr1p fsExeDir() {
    CxStr1p r;
    fsExeDirSet(r);
    return r;
}

CxStr1p fsExeName() {
    CxStr1p r;
    fsExeNameSet(r);
    return r;
}

bool fsFindExeInPathAndDirSet(CxStr1p& out, CxStr1p const& name, CxStr1p const& dir) {
    out.clear();
    if (name.isEmpty()) return false;
    CxStr1p n(name);
    char const* suffix = fsExeSuffix();
    if (suffix[0] && !pathHasExtIcase(n, "exe")) n += suffix;
    if (pathIsAbsolute(n)) {
        if (!fsaIsExe(n)) return false;
        return out.setMove(n);
    }
    char const* env = getenv("PATH");
    CxStr1p dirs(env ? env : "");
    char seps[2] = {fsPathListSep(), 0};
    if (!dir.isEmpty()) {
        if (!dirs.isEmpty()) dirs += seps[0];
        dirs += dir;
    }
    CxStr1p d;
    long long pos = 0;
    while (strToken(d, pos, dirs, seps)) {
        strDelQuoteSet(d, '"');
        if (d.isEmpty()) continue;
        backToSlash(d);
        CxStr1p cand = pathJoin(d, n);
        if (fsaIsExe(cand)) return out.setMove(cand);
    }
    return false;
}

CxStr1p fsFindExeInPathAndDir(CxStr1p const& name, CxStr1p const& dir) {
    CxStr1p r;
    fsFindExeInPathAndDirSet(r, name, dir);
    return r;
}

// ---- Removal

namespace {

bool rmTree(CxStr1p const& dir) {
    StrVect names;
    {
        FsDir d;
        if (!d.open(dir)) return false;
        CxStr1p name;
        // Collect first: the listing must not change under the reader.
        while (d.nextInDir(name))
            if (!names.addVal(name)) return false;
    }
    bool ok = true;
    for (CxStr1p const& name : names) {
        CxStr1p child = pathJoin(dir, name);
        if (pathBanRm(child)) {
            ok = false;
            continue;
        }
        FsStatBuf st;
        if (!fsbStat(st, child)) continue;
        // A link is removed itself, never entered.
        if (st.type == 'D') {
            if (!rmTree(child)) ok = false;
        } else if (!fsRmEntry(child)) {
            ok = false;
        }
    }
    return fsRmEntry(dir) && ok;
}

bool rmPathText(CxStr1p& q, CxStr1p const& p) {
    if (pathBanRm(p)) return false;
    q = p;
    strDelEndPsep(q);
    return !q.isEmpty() && !pathBanRm(q);
}

} // namespace

bool fsRm(CxStr1p const& p) {
    CxStr1p q;
    if (!rmPathText(q, p)) return false;
    if (!fsbExist(q)) return true;
    fsRmEntry(q);
    return !fsbExist(q);
}

bool fsRmRec(CxStr1p const& p) {
    CxStr1p q;
    if (!rmPathText(q, p)) return false;
    FsStatBuf st;
    if (!fsbStat(st, q)) return true;
    if (st.type == 'D')
        rmTree(q);
    else
        fsRmEntry(q);
    return !fsbExist(q);
}

// ---- Touching and truncation

namespace {

bool touchAny(CxStr1p const& p, long long ns, char mode, bool follow) {
    if (p.isEmpty()) return false;
    bool exists = follow ? fsaExist(p) : fsbExist(p);
    char m = upper(mode);
    if (m == 'E' && !exists) return false;
    if (m == 'N' && exists) return true;
    if (!exists && !fsCreateEmpty(p)) return false;
    return fsSetTime(p, ns, follow);
}

bool touchVerify(long long t, long long ns, long long limit) {
    if (limit < 1) return true;
    long long d = t - ns;
    if (d < 0) d = -d;
    return d <= limit;
}

} // namespace

bool fsbTouch(CxStr1p const& p, long long ns, char mode) {
    return touchAny(p, ns, mode, false);
}

bool fsaTouch(CxStr1p const& p, long long ns, char mode) {
    return touchAny(p, ns, mode, true);
}

bool fsaTouchRec(CxStr1p const& p, long long ns, char mode) {
    if (fsaTouch(p, ns, mode)) return true;
    // Only-existing paths gain nothing from new directories.
    if (upper(mode) == 'E') return false;
    if (!fsMkDirPartRec(p)) return false;
    return fsaTouch(p, ns, mode);
}

bool fsaTrunc(CxStr1p const& p, long long size, char mode) {
    if (size < 0 || p.isEmpty()) return false;
    bool exists = fsaExist(p);
    char m = upper(mode);
    if (m == 'E' && !exists) return false;
    if (m == 'N' && exists) return true;
    if (!fsaTouch(p, 0, 0)) return false;
    return fsSetSize(p, size);
}

bool fsaTruncRec(CxStr1p const& p, long long size, char mode) {
    if (fsaTrunc(p, size, mode)) return true;
    if (size < 0 || upper(mode) == 'E') return false;
    if (!fsMkDirPartRec(p)) return false;
    return fsaTrunc(p, size, mode);
}

bool fsbTouchVerify(CxStr1p const& p, long long ns, long long limit) {
    return touchVerify(fsbTime(p), ns, limit);
}

bool fsaTouchVerify(CxStr1p const& p, long long ns, long long limit) {
    return touchVerify(fsaTime(p), ns, limit);
}

// ---- Copy and move

namespace {

// The target of a copy or move; false when the source cannot be one.
bool copyTarget(CxStr1p& tgt, CxStr1p const& src, CxStr1p const& dst, bool follow) {
    tgt.clear();
    if (src.isEmpty() || strHasEndPsep(src)) return false;
    if (follow ? fsaIsDir(src) : fsbIsDir(src)) return false;
    if (strHasEndPsep(dst))
        tgt = pathJoin(dst, pathFilePart(src));
    else
        tgt = dst;
    return !tgt.isEmpty();
}

bool copyBytesFd(CxStr1p const& src, CxStr1p const& tgt, bool append, long long& got) {
    got = 0;
    int in = fsFdOpen(src, 'r');
    if (in < 0) return false;
    int out = fsFdOpen(tgt, append ? 'a' : 'w');
    if (out < 0) {
        fsFdClose(in);
        return false;
    }
    char buf[kBlock];
    long long wrote = 0;
    bool readOk = true;
    for (;;) {
        long long n, w;
        int err;
        if (!cbufReadFd(in, buf, kBlock, n, err)) {
            readOk = false;
            break;
        }
        if (n <= 0) break;
        got += n;
        cbufWriteFd(out, buf, n, w, err);
        wrote += w;
        if (w < n) break;
    }
    fsFdClose(in);
    bool closed = fsFdClose(out);
    return readOk && closed && wrote == got;
}

bool copyBytesFs(CxStr1p const& src, CxStr1p const& tgt, bool append, long long& got) {
    got = 0;
    FsFile in, out;
    if (!in.open(src, "rb")) return false;
    if (!out.open(tgt, append ? "ab" : "wb")) return false;
    char buf[kBlock];
    long long wrote = 0;
    bool readOk = true;
    for (;;) {
        long long n, w;
        int err;
        if (!cbufReadFs(in.fs, buf, kBlock, n, err)) {
            readOk = false;
            break;
        }
        if (n <= 0) break;
        got += n;
        cbufWriteFs(out.fs, buf, n, w, err);
        wrote += w;
        if (w < n) break;
    }
    return readOk && out.close() && wrote == got;
}

bool fileCopyAny(CxStr1p const& src, CxStr1p const& dst, char const* mode, bool useFs) {
    CxStr1p tgt;
    if (!copyTarget(tgt, src, dst, true)) return false;
    if (tgt == src) return fsaExist(src);
    bool append = hasLetter(mode, 'a');
    if (hasLetter(mode, 'p') && !fsMkDirPartRec(tgt)) return false;
    FsStatBuf st;
    long long size, time;
    if (!fsaStat(st, src)) return false;
    if (!fsStatSizeTime(size, time, st)) return false;
    FsStatBuf old;
    bool existed = fsaStat(old, tgt);
    // Another name of the source: opening it for writing would empty it.
    // Only a target with the source's size and time can be one.
    if (existed && old.size == st.size && old.time == st.time && fsIsSameFile(src, tgt))
        return true;
    long long got = 0;
    bool ok = useFs ? copyBytesFs(src, tgt, append, got) : copyBytesFd(src, tgt, append, got);
    if (!ok || got < size) return false;
    // A new copy of an executable stays executable.
    if (!existed && fsStatIsExe(st)) fsSetExeBits(tgt, true);
    if (!append && isPathNormal(tgt)) fsaTouch(tgt, time, 'e');
    return true;
}

bool fsbCopyAny(CxStr1p const& src, CxStr1p const& dst, char const* mode, bool useFs) {
    if (!fsbIsLink(src)) return fileCopyAny(src, dst, mode, useFs);
    CxStr1p tgt;
    if (!copyTarget(tgt, src, dst, false)) return false;
    if (tgt == src) return true;
    if (hasLetter(mode, 'p') && !fsMkDirPartRec(tgt)) return false;
    return fsbLinkCopy(src, tgt);
}

bool moveAny(CxStr1p const& src, CxStr1p const& dst, char const* mode, bool follow, bool useFs) {
    CxStr1p tgt;
    if (!copyTarget(tgt, src, dst, follow)) return false;
    if (tgt == src) return follow ? fsaExist(src) : fsbExist(src);
    if (hasLetter(mode, 'p') && !fsMkDirPartRec(tgt)) return false;
    if (!(follow ? fsaExist(src) : fsbExist(src))) return false;
    long long t = follow ? fsaTime(src) : fsbTime(src);
    bool append = hasLetter(mode, 'a');
    // Appending cannot be a rename: the target keeps what it holds.
    if (!append && fsRename(src, tgt)) {
        if (t > 0) follow ? fsaTouch(tgt, t, 'e') : fsbTouch(tgt, t, 'e');
        return true;
    }
    // Never copy a file onto itself and then remove the only copy.
    if (fsIsSameFile(src, tgt)) return false;
    char const* copyMode = append ? "a" : "";
    bool copied =
        follow ? (useFs ? fsaFileCopyFs(src, tgt, copyMode) : fsaFileCopyFd(src, tgt, copyMode))
               : (useFs ? fsbFileCopyFs(src, tgt, copyMode) : fsbFileCopyFd(src, tgt, copyMode));
    if (!copied) return false;
    return fsRm(src);
}

bool sameBytes(CxStr1p const& a, CxStr1p const& b, bool useFs) {
    char ba[kBlock], bb[kBlock];
    if (useFs) {
        FsFile fa, fb;
        if (!fa.open(a, "rb") || !fb.open(b, "rb")) return false;
        for (;;) {
            long long na, nb;
            int err;
            if (!cbufReadFs(fa.fs, ba, kBlock, na, err)) return false;
            if (!cbufReadFs(fb.fs, bb, kBlock, nb, err)) return false;
            if (na != nb || !memIsExact(ba, bb, na)) return false;
            if (na == 0) return true;
        }
    }
    int fa = fsFdOpen(a, 'r');
    if (fa < 0) return false;
    int fb = fsFdOpen(b, 'r');
    if (fb < 0) {
        fsFdClose(fa);
        return false;
    }
    bool same = false;
    for (;;) {
        long long na, nb;
        int err;
        // Descriptor reads may come back short; fill whole blocks.
        long long ga = 0, gb = 0;
        bool ok = true;
        while (ok && ga < kBlock) {
            ok = cbufReadFd(fa, ba + ga, kBlock - ga, na, err);
            if (!ok || na == 0) break;
            ga += na;
        }
        while (ok && gb < kBlock) {
            ok = cbufReadFd(fb, bb + gb, kBlock - gb, nb, err);
            if (!ok || nb == 0) break;
            gb += nb;
        }
        if (!ok || ga != gb || !memIsExact(ba, bb, ga)) break;
        if (ga < kBlock) {
            same = true;
            break;
        }
    }
    fsFdClose(fa);
    fsFdClose(fb);
    return same;
}

bool fileIsSameAny(CxStr1p const& a, CxStr1p const& b, bool useFs) {
    CxStr1p x(a), y(b);
    bool xDir = strHasEndPsep(x), yDir = strHasEndPsep(y);
    if (xDir && !yDir) x = pathJoin(x, pathFilePart(y));
    if (yDir && !xDir) y = pathJoin(y, pathFilePart(x));
    if (x == y) return true;
    FsStatBuf sx, sy;
    if (!fsaStat(sx, x) || !fsaStat(sy, y)) return false;
    if (sx.type == 'D' || sy.type == 'D') return false;
    if (sx.size != sy.size) return false;
    return sameBytes(x, y, useFs);
}

bool moveRmOnDiffAny(CxStr1p const& src, CxStr1p const& dst, char const* mode, bool useFs) {
    CxStr1p tgt;
    if (!copyTarget(tgt, src, dst, true)) return false;
    // The same file under two names: removing the source would lose it.
    if (tgt == src || fsIsSameFile(src, tgt)) return fsaExist(src);
    if (fileIsSameAny(src, tgt, useFs)) return fsRm(src);
    return useFs ? fsaFileMoveFs(src, tgt, mode) : fsaFileMoveFd(src, tgt, mode);
}

} // namespace

bool fsaFileCopyFd(CxStr1p const& src, CxStr1p const& dst, char const* mode) {
    return fileCopyAny(src, dst, mode, false);
}

bool fsaFileCopyFs(CxStr1p const& src, CxStr1p const& dst, char const* mode) {
    return fileCopyAny(src, dst, mode, true);
}

bool fsbFileCopyFd(CxStr1p const& src, CxStr1p const& dst, char const* mode) {
    return fsbCopyAny(src, dst, mode, false);
}

bool fsbFileCopyFs(CxStr1p const& src, CxStr1p const& dst, char const* mode) {
    return fsbCopyAny(src, dst, mode, true);
}

bool fsbLinkCopy(CxStr1p const& src, CxStr1p const& dst) {
    CxStr1p target;
    if (!fsReadLink(target, src) || dst.isEmpty()) return false;
    if (fsbExist(dst)) {
        if (fsbIsDir(dst) || !fsRm(dst)) return false;
    }
    return fsMkSymLink(dst, target);
}

bool fsaFileMoveFd(CxStr1p const& src, CxStr1p const& dst, char const* mode) {
    return moveAny(src, dst, mode, true, false);
}

bool fsaFileMoveFs(CxStr1p const& src, CxStr1p const& dst, char const* mode) {
    return moveAny(src, dst, mode, true, true);
}

bool fsbFileMoveFd(CxStr1p const& src, CxStr1p const& dst, char const* mode) {
    return moveAny(src, dst, mode, false, false);
}

bool fsbFileMoveFs(CxStr1p const& src, CxStr1p const& dst, char const* mode) {
    return moveAny(src, dst, mode, false, true);
}

bool fileIsSameFd(CxStr1p const& a, CxStr1p const& b) {
    return fileIsSameAny(a, b, false);
}

bool fileIsSameFs(CxStr1p const& a, CxStr1p const& b) {
    return fileIsSameAny(a, b, true);
}

bool fileCopyOnDiffFd(CxStr1p const& src, CxStr1p const& dst, char const* mode) {
    if (fileIsSameFd(src, dst)) return true;
    return fsaFileCopyFd(src, dst, mode);
}

bool fileCopyOnDiffFs(CxStr1p const& src, CxStr1p const& dst, char const* mode) {
    if (fileIsSameFs(src, dst)) return true;
    return fsaFileCopyFs(src, dst, mode);
}

bool fileMoveRmOnDiffFd(CxStr1p const& src, CxStr1p const& dst, char const* mode) {
    return moveRmOnDiffAny(src, dst, mode, false);
}

bool fileMoveRmOnDiffFs(CxStr1p const& src, CxStr1p const& dst, char const* mode) {
    return moveRmOnDiffAny(src, dst, mode, true);
}

bool fileCat(CxStr1p const& inputs, CxStr1p const& output, char const* mode,
             CxStr1p const& newline) {
    bool ok = true;
    if (hasLetter(mode, 'p')) fsMkDirPartRec(output);
    CxStr1p joined, name, nl("\n");
    bool crlf = false;
    long long pos = 0;
    while (strToken(name, pos, inputs, "|")) {
        CxStr1p text;
        if (!strFileLoadFd(name, text)) {
            ok = false;
            continue;
        }
        CxStr1p style;
        if (strDetectNL(style, text)) {
            if (style == "\r\n")
                crlf = true;
            else if (style != "\n")
                nl = style;
        }
        strReplaceNL2LF(text);
        if (!joined.addObj(text)) ok = false;
    }
    if (crlf) nl = "\r\n";
    if (!newline.isEmpty()) nl = newline;
    if (nl != "\n") {
        CxStr1p out;
        if (!out.reserve(joined.len + joined.len / 8 + 16)) return false;
        for (long long i = 0; i < joined.len; i++) {
            bool added = joined.data[i] == '\n' ? out.addObj(nl) : out.addVal(joined.data[i]);
            if (!added) return false;
        }
        joined.setMove(out);
    }
    if (!strFileSaveFd(output, joined, hasLetter(mode, 'a') ? "a" : "")) ok = false;
    return ok;
}

// ---- Links and paths

CxStr1p fsReadLink(CxStr1p const& p) {
    CxStr1p r;
    fsReadLink(r, p);
    return r;
}

CxStr1p fsRealPath(CxStr1p const& p) {
    CxStr1p r;
    fsRealPath(r, p);
    return r;
}

CxStr1p fsPickPath(CxStr1p const& dirs, CxStr1p const& names, char type) {
    char const* seps = "|\r\n";
    auto qualifies = [type](CxStr1p const& p) {
        return type == 0 ? fsaExist(p) : fsaIsType(type, p);
    };
    CxStr1p dir, name;
    long long dpos = 0;
    bool anyDir = false;
    while (strToken(dir, dpos, dirs, seps)) {
        anyDir = true;
        long long npos = 0;
        while (strToken(name, npos, names, seps)) {
            CxStr1p p = pathJoin(dir, name);
            if (qualifies(p)) return p;
        }
    }
    if (!anyDir) {
        long long npos = 0;
        while (strToken(name, npos, names, seps))
            if (qualifies(name)) return name;
    }
    return CxStr1p();
}

// ---- Directory and file streams

bool FsDir::reopen(CxStr1p const& path) {
    close();
    return open(path);
}

bool FsDir::nextInDir(CxStr1p& out, bool all, bool noHidden) {
    while (nextRaw(out)) {
        if (noHidden) {
            if (out.getAt(0) == '.') continue;
            return true;
        }
        if (all) return true;
        if (out == "." || out == "..") continue;
        return true;
    }
    out.clear();
    return false;
}

bool FsFile::open(CxStr1p const& path, char const* mode) {
    if (fs || path.isEmpty() || !mode) return false;
    fs = fsFopen(path.c_str(), mode);
    return fs != nullptr;
}

bool FsFile::reopen(CxStr1p const& path, char const* mode) {
    close();
    return open(path, mode);
}

bool FsFile::close() {
    if (!fs) return true;
    bool ok = fclose(fs) == 0;
    fs = nullptr;
    return ok;
}

namespace {

bool lsDirAny(CxStr1p& out, CxStr1p const& dir, bool follow) {
    out.clear();
    FsDir d;
    if (!d.open(dir)) return false;
    StrSet names;
    CxStr1p name;
    bool ok = true;
    while (d.nextInDir(name))
        if (!names.addK(name)) ok = false;
    for (auto const& n : names) {
        CxStr1p p = pathJoin(dir, n.key);
        bool isDir = follow ? fsaIsDir(p) : fsbIsDir(p);
        if (!out.addObj(n.key) || (isDir && !out.addVal('/')) || !out.addVal('\n')) ok = false;
    }
    return ok;
}

} // namespace

bool fsbLsDir(CxStr1p& out, CxStr1p const& dir) {
    return lsDirAny(out, dir, false);
}

bool fsaLsDir(CxStr1p& out, CxStr1p const& dir) {
    return lsDirAny(out, dir, true);
}

bool fsStrReadLine(FILE* fs, CxStr1p& out) {
    out.clear();
    if (!fs) return false;
    bool any = false;
    char buf[256];
    int n = 0;
    int c;
    while ((c = fgetc(fs)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (c == 0) continue; // texts end at a zero byte
        buf[n++] = (char)c;
        if (n == (int)sizeof buf) {
            if (!out.addCstr(buf, n)) return false;
            n = 0;
        }
    }
    if (n > 0 && !out.addCstr(buf, n)) return false;
    if (out.last() == '\r') out.forceLen(out.len - 1);
    return any;
}

// ---- Byte blocks

bool cbufReadFs(FILE* fs, char* buf, long long size, long long& done, int& err) {
    done = 0;
    err = 0;
    if (!fs) {
        err = EBADF;
        return false;
    }
    if (size < 1) return true;
    size_t n = fread(buf, 1, (size_t)size, fs);
    done = (long long)n;
    if (n == 0 && ferror(fs)) {
        err = errno ? errno : EIO;
        return false;
    }
    return true;
}

bool cbufWriteFs(FILE* fs, char const* buf, long long n, long long& done, int& err) {
    done = 0;
    err = 0;
    if (!fs) {
        err = EBADF;
        return false;
    }
    if (n < 1) return true;
    done = (long long)fwrite(buf, 1, (size_t)n, fs);
    if (done < n) {
        err = errno ? errno : EIO;
        return false;
    }
    return true;
}

int memCmp(void const* a, void const* b, long long n) {
    if (n < 1) return 0;
    int c = memcmp(a, b, (size_t)n);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int memCmp4(void const* a, void const* b, long long n4) {
    return n4 < 1 ? 0 : memCmp(a, b, n4 * 4);
}

bool memIsExact(void const* a, void const* b, long long n) {
    return n < 1 || memcmp(a, b, (size_t)n) == 0;
}

bool memIsExact4(void const* a, void const* b, long long n4) {
    return n4 < 1 || memIsExact(a, b, n4 * 4);
}

bool memIsEqRef(void const* p, long long n, unsigned char ref) {
    unsigned char const* s = (unsigned char const*)p;
    for (long long i = 0; i < n; i++)
        if (s[i] != ref) return false;
    return true;
}
