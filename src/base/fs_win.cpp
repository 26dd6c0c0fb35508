// Windows side of the file system operations: Win32 attributes and file
// times (100 ns since 1601), reparse points as links, junctions through cmd.
#include <windows.h>
#include <winioctl.h>

#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "base/containers.h"
#include "base/fs_win.h"
#include "base/fs_sys.h"
#include "base/path.h"
#include "base/textedit.h"

namespace {

// 100 ns intervals from 1601-01-01 to 1970-01-01.
constexpr long long kFileTimeEpoch = 116444736000000000LL;
constexpr int kMaxPathWin = 260;

long long nsFromFileTime(FILETIME const& ft) {
    long long t = (long long)(((unsigned long long)ft.dwHighDateTime << 32) | ft.dwLowDateTime);
    t -= kFileTimeEpoch;
    if (t <= 0) return 0;
    if (t > 0x7fffffffffffffffLL / 100) return 0x7fffffffffffffffLL;
    return t * 100;
}

FILETIME fileTimeFromNs(long long ns) {
    unsigned long long t = (unsigned long long)(ns / 100 + kFileTimeEpoch);
    FILETIME ft;
    ft.dwLowDateTime = (DWORD)(t & 0xffffffffULL);
    ft.dwHighDateTime = (DWORD)(t >> 32);
    return ft;
}

bool isLinkTag(DWORD tag) {
    return tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT;
}

// The runtime's stat marks these extensions as executable.
bool hasExeExt(CxStr1p const& p) {
    return pathHasExtIcase(p, "exe") || pathHasExtIcase(p, "com") || pathHasExtIcase(p, "bat") ||
           pathHasExtIcase(p, "cmd");
}

CxStr1p noEndSep(CxStr1p const& p) {
    CxStr1p r(p);
    strDelEndPsep(r);
    return r;
}

// A reparse point is a link only for the symbolic-link and junction tags.
bool isLinkPath(CxStr1p const& p) {
    WIN32_FIND_DATAA fd;
    CxStr1p q = noEndSep(p);
    if (strHas(q, '*') || strHas(q, '?')) return false;
    HANDLE h = FindFirstFileA(q.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    FindClose(h);
    return (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && isLinkTag(fd.dwReserved0);
}

bool fillFromAttr(FsStatBuf& st, DWORD attr, DWORD sizeHi, DWORD sizeLo, FILETIME const& wt,
                  CxStr1p const& nameForExe) {
    if (attr & FILE_ATTRIBUTE_DIRECTORY)
        st.type = 'D';
    else if (attr & FILE_ATTRIBUTE_DEVICE)
        st.type = 0;
    else
        st.type = 'F';
    st.size = st.type == 'F' ? (long long)(((unsigned long long)sizeHi << 32) | sizeLo) : 0;
    st.time = nsFromFileTime(wt);
    st.isExe = st.type == 'F' && hasExeExt(nameForExe);
    return true;
}

HANDLE openForQuery(CxStr1p const& p, bool follow) {
    return CreateFileA(p.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                       nullptr);
}

void slashes(CxStr1p& s) {
    for (long long i = 0; i < s.len; i++)
        if (s.data[i] == '\\') s.data[i] = '/';
}

} // namespace

static bool osFsbStat(FsStatBuf& st, CxStr1p const& p) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExA(p.c_str(), GetFileExInfoStandard, &d)) return false;
    if ((d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && isLinkPath(p)) {
        st.type = 'L';
        st.time = nsFromFileTime(d.ftLastWriteTime);
        return true;
    }
    return fillFromAttr(st, d.dwFileAttributes, d.nFileSizeHigh, d.nFileSizeLow, d.ftLastWriteTime,
                        p);
}

static bool osFsaStat(FsStatBuf& st, CxStr1p const& p) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExA(p.c_str(), GetFileExInfoStandard, &d)) return false;
    if (!(d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return fillFromAttr(st, d.dwFileAttributes, d.nFileSizeHigh, d.nFileSizeLow,
                            d.ftLastWriteTime, p);
    // Through the link: opening follows it to the real file.
    HANDLE h = openForQuery(p, true);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION fi;
    bool ok = GetFileInformationByHandle(h, &fi) != 0;
    CloseHandle(h);
    if (!ok) return false;
    CxStr1p real;
    if (!fsRealPath(real, p)) real = p;
    return fillFromAttr(st, fi.dwFileAttributes & ~(DWORD)FILE_ATTRIBUTE_REPARSE_POINT,
                        fi.nFileSizeHigh, fi.nFileSizeLow, fi.ftLastWriteTime, real);
}

namespace {

// One directory's entries as listed, by lower-cased name.
struct Listing {
    bool usable = false; // false: the directory could not be read; query per file
    struct Entry {
        DWORD attr = 0, sizeHi = 0, sizeLo = 0;
        FILETIME time = {0, 0};
    };
    Map_Kobj2Vobj<CxStr1p, Entry> entries;
};

struct Listings {
    std::mutex mtx;
    bool ended = false;
    StrNumMap dirs; // lower-cased directory -> index
    Vect1p_Vobj<Listing*> all;
};
Listings g_lists;

// Splits p into its directory and last name when a listing can answer for it
// exactly: ASCII only (case folding), no drive letter, wildcard or short-name
// tilde, and a last name the system would not change (trailing dot or blank).
bool listedParts(CxStr1p const& p, CxStr1p& dir, CxStr1p& name) {
    long long n = p.length(), slash = -1;
    if (n < 1) return false;
    for (long long i = 0; i < n; ++i) {
        unsigned char c = (unsigned char)p.data[i];
        if (c >= 0x80 || c < 0x20 || c == ':' || c == '*' || c == '?' || c == '~' || c == '"' ||
            c == '<' || c == '>' || c == '|')
            return false;
        if (c == '/' || c == '\\') slash = i;
    }
    name.setCstr(p.data + slash + 1, n - slash - 1);
    if (name.isEmpty() || name == "." || name == ".." || name.last() == '.' || name.last() == ' ')
        return false;
    if (slash < 0)
        dir.clear();
    else if (slash == 0)
        dir = "/";
    else
        dir.setCstr(p.data, slash);
    for (long long i = 0; i < dir.len; ++i)
        if (dir.data[i] == '\\') dir.data[i] = '/';
    strToLowerSet(dir);
    strToLowerSet(name);
    return true;
}

Listing* listDir(CxStr1p const& dir) {
    Listing* l = new (std::nothrow) Listing;
    if (!l) return nullptr;
    CxStr1p pattern(dir);
    if (!pattern.isEmpty() && pattern.last() != '/') pattern += '/';
    pattern += '*';
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        // No such directory (or not one): every name in it is missing.
        l->usable = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_DIRECTORY;
        return l;
    }
    l->usable = true;
    CxStr1p key;
    do {
        key = fd.cFileName;
        if (key == "." || key == "..") continue;
        strToLowerSet(key);
        Listing::Entry e;
        e.attr = fd.dwFileAttributes;
        e.sizeHi = fd.nFileSizeHigh;
        e.sizeLo = fd.nFileSizeLow;
        e.time = fd.ftLastWriteTime;
        // A name the code page could not show is never asked for as such.
        if (!strHas(key, '?') && !l->entries.addKV(key, e)) l->usable = false;
    } while (l->usable && FindNextFileA(h, &fd));
    FindClose(h);
    return l;
}

} // namespace

static bool osFsaStatListed(FsStatBuf& st, CxStr1p const& p) {
    CxStr1p dir, name;
    Listing::Entry ent;
    {
        std::lock_guard<std::mutex> lk(g_lists.mtx);
        if (g_lists.ended || !listedParts(p, dir, name)) return fsaStat(st, p);
        Listing* l = nullptr;
        if (long long* at = g_lists.dirs.find(dir)) {
            l = g_lists.all[*at];
        } else {
            l = listDir(dir);
            if (!l || !g_lists.all.addVal(l)) {
                delete l;
                return fsaStat(st, p);
            }
            g_lists.dirs.addKV(dir, g_lists.all.size() - 1);
        }
        if (!l->usable) return fsaStat(st, p);
        Listing::Entry const* e = l->entries.find(name);
        if (!e) {
            st = FsStatBuf();
            return false;
        }
        ent = *e;
    }
    // A link's own entry is not its target's.
    if (ent.attr & FILE_ATTRIBUTE_REPARSE_POINT) return fsaStat(st, p);
    st = FsStatBuf();
    return fillFromAttr(st, ent.attr, ent.sizeHi, ent.sizeLo, ent.time, p);
}

static void osFsStatListsUse(bool on) {
    std::lock_guard<std::mutex> lk(g_lists.mtx);
    g_lists.ended = !on;
    for (Listing* l : g_lists.all)
        delete l;
    g_lists.all.clear();
    g_lists.dirs.clear();
}

static bool osFsStatAheadPays() {
    return false;
}

static bool osFsSetExeBits(CxStr1p const& p, bool) {
    // The extension decides; there is no permission to change.
    return fsaExist(p);
}

static bool osFsIsSameFile(CxStr1p const& a, CxStr1p const& b) {
    BY_HANDLE_FILE_INFORMATION fa, fb;
    HANDLE ha = openForQuery(a, true);
    if (ha == INVALID_HANDLE_VALUE) return false;
    bool ok = GetFileInformationByHandle(ha, &fa) != 0;
    CloseHandle(ha);
    if (!ok) return false;
    HANDLE hb = openForQuery(b, true);
    if (hb == INVALID_HANDLE_VALUE) return false;
    ok = GetFileInformationByHandle(hb, &fb) != 0;
    CloseHandle(hb);
    return ok && fa.dwVolumeSerialNumber == fb.dwVolumeSerialNumber &&
           fa.nFileIndexHigh == fb.nFileIndexHigh && fa.nFileIndexLow == fb.nFileIndexLow;
}

static bool osFsCd(CxStr1p const& path) {
    return _chdir(path.c_str()) == 0;
}

static bool osFsCwdSet(CxStr1p& out) {
    char buf[kMaxPathWin + 1];
    if (!_getcwd(buf, kMaxPathWin)) {
        out.clear();
        return false;
    }
    if (!out.setCstr(buf)) return false;
    slashes(out);
    return !out.isEmpty();
}

static long long osFsPathMaxBytes() {
    return kMaxPathWin;
}

static bool osFsMkDir(CxStr1p const& p) {
    _mkdir(p.c_str());
    return fsaIsDir(p);
}

static bool osFsRmEntry(CxStr1p const& p) {
    DWORD attr = GetFileAttributesA(p.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES) return false;
    // Directories, junctions and directory links go with rmdir (the link
    // itself, never what it leads to); files and file links with remove.
    if (attr & FILE_ATTRIBUTE_DIRECTORY) return _rmdir(p.c_str()) == 0;
    return remove(p.c_str()) == 0;
}

static bool osFsSetTime(CxStr1p const& p, long long ns, bool follow) {
    FILETIME ft;
    // "Now" from the clock the file system stamps writes with.
    if (ns < 1)
        GetSystemTimeAsFileTime(&ft);
    else
        ft = fileTimeFromNs(ns);
    HANDLE h = CreateFileA(
        p.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = SetFileTime(h, nullptr, &ft, &ft) != 0;
    CloseHandle(h);
    return ok;
}

static bool osFsCreateEmpty(CxStr1p const& p) {
    HANDLE h = CreateFileA(p.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    return CloseHandle(h) != 0;
}

static bool osFsSetSize(CxStr1p const& p, long long size) {
    HANDLE h = CreateFileA(p.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER li;
    li.QuadPart = size;
    bool ok = SetFilePointerEx(h, li, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    CloseHandle(h);
    return ok;
}

static bool osFsRename(CxStr1p const& src, CxStr1p const& dst) {
    // Replacing an existing target, as rename does on POSIX; no copy across
    // drives here, the caller does that.
    return MoveFileExA(src.c_str(), dst.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

namespace {

// cmd splits words at these; such parts go in quotes.
CxStr1p cmdWord(CxStr1p const& s) {
    CxStr1p r = pathToBackSlash(s);
    for (long long i = 0; i < r.len; i++)
        if (strchr(" \t&()^;,=|<>", r.data[i])) return strAddQuote(r, '"');
    return r;
}

} // namespace

static bool osFsMkSymLink(CxStr1p const& link, CxStr1p const& target) {
    CxStr1p name = noEndSep(link);
    CxStr1p cmd("chdir /d ");
    cmd += cmdWord(pathDirPart(name));
    cmd += " && mklink /J ";
    cmd += cmdWord(pathFilePart(name));
    cmd += " ";
    cmd += cmdWord(target);
    fflush(stdout);
    fflush(stderr);
    // system() passes on every inheritable handle.
    std::unique_lock<std::shared_mutex> lk(inheritLock());
    return system(cmd.c_str()) == 0;
}

namespace {

// Reparse data as the file system returns it (not in the toolchain headers).
struct ReparseData {
    DWORD tag;
    WORD dataLength;
    WORD reserved;
    WORD substOffset;
    WORD substLength;
    WORD printOffset;
    WORD printLength;
};

bool narrowFrom(CxStr1p& out, WCHAR const* w, int nChars) {
    out.clear();
    if (nChars <= 0) return false;
    int n = WideCharToMultiByte(CP_ACP, 0, w, nChars, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    CxStr1p r;
    if (!r.reserve(n + 1)) return false;
    WideCharToMultiByte(CP_ACP, 0, w, nChars, r.data, n, nullptr, nullptr);
    r.data[n] = 0;
    r.forceValidLen(n);
    return out.setMove(r);
}

} // namespace

static bool osFsReadLink(CxStr1p& out, CxStr1p const& p) {
    CxStr1p q = noEndSep(p);
    HANDLE h = openForQuery(q, false);
    if (h == INVALID_HANDLE_VALUE) return false;
    size_t const cap = 16 * 1024;
    unsigned char* buf = (unsigned char*)malloc(cap);
    if (!buf) {
        CloseHandle(h);
        return false;
    }
    DWORD got = 0;
    bool ok = DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, buf, (DWORD)cap, &got,
                              nullptr) != 0;
    CloseHandle(h);
    if (ok && got >= sizeof(ReparseData)) {
        ReparseData rd;
        memcpy(&rd, buf, sizeof rd);
        // Symbolic links carry 4 bytes of flags before the names.
        size_t names = sizeof(ReparseData);
        if (rd.tag == IO_REPARSE_TAG_SYMLINK)
            names += 4;
        else if (rd.tag != IO_REPARSE_TAG_MOUNT_POINT)
            ok = false;
        bool usePrint = rd.printLength > 0;
        size_t off = names + (usePrint ? rd.printOffset : rd.substOffset);
        size_t len = usePrint ? rd.printLength : rd.substLength;
        if (ok && off + len <= got) {
            WCHAR* w = (WCHAR*)malloc(len + sizeof(WCHAR));
            if (w) {
                memcpy(w, buf + off, len);
                ok = narrowFrom(out, w, (int)(len / sizeof(WCHAR)));
                free(w);
            } else {
                ok = false;
            }
        } else {
            ok = false;
        }
    } else {
        ok = false;
    }
    free(buf);
    if (!ok) return false;
    if (strHasStart(out, "\\??\\")) out.delSpan(0, 4);
    slashes(out);
    return !out.isEmpty();
}

static bool osFsRealPath(CxStr1p& out, CxStr1p const& p) {
    HANDLE h = openForQuery(p, true);
    if (h == INVALID_HANDLE_VALUE) return false;
    char buf[4 * kMaxPathWin];
    DWORD n = GetFinalPathNameByHandleA(h, buf, (DWORD)sizeof buf,
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(h);
    bool ok = false;
    if (n > 0 && n < sizeof buf) {
        ok = out.setCstr(buf, n);
    } else {
        // No final name from the file system: the full path of the text.
        n = GetFullPathNameA(p.c_str(), (DWORD)sizeof buf, buf, nullptr);
        ok = n > 0 && n < sizeof buf && out.setCstr(buf, n);
    }
    if (!ok) return false;
    if (strHasStart(out, "\\\\?\\UNC\\"))
        out.delSpan(2, 6);
    else if (strHasStart(out, "\\\\?\\"))
        out.delSpan(0, 4);
    slashes(out);
    return !out.isEmpty();
}

static char osFsPathListSep() {
    return ';';
}

static char const* osFsExeSuffix() {
    return ".exe";
}

static bool osFsInitExePath(CxStr1p& out, char const*) {
    char const* cl = GetCommandLineA();
    CxStr1p word;
    if (cl) {
        while (*cl == ' ' || *cl == '\t')
            cl++;
        char const* e;
        if (*cl == '"') {
            cl++;
            e = strchr(cl, '"');
            if (!e) e = cl + strlen(cl);
        } else {
            e = cl;
            while (*e && *e != ' ' && *e != '\t')
                e++;
        }
        word.setCstr(cl, e - cl);
    }
    slashes(word);
    if (!word.isEmpty()) {
        // A relative name with a directory part is relative to the start
        // directory, not to the directories of PATH.
        if (!pathIsAbsolute(word) && (strHas(word, '/') || strHas(word, ':'))) {
            CxStr1p full = pathCleanAll(pathJoin(fsOrigCwd(), word));
            if (fsFindExeInPathAndDirSet(out, full, "")) return true;
        }
        if (fsFindExeInPathAndDirSet(out, word, fsOrigCwd())) return true;
    }
    // A parent may pass any first word; the module itself is never wrong.
    char buf[kMaxPathWin + 1];
    DWORD n = GetModuleFileNameA(nullptr, buf, kMaxPathWin);
    if (n == 0 || n >= kMaxPathWin || !out.setCstr(buf, n)) {
        out.clear();
        return false;
    }
    slashes(out);
    return true;
}

struct FsDirImpl {
    HANDLE h = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA fd;
    bool pending = false;
};

static FsDirImpl* osDirOpen(CxStr1p const& path) {
    if (!fsaIsDir(path)) return nullptr;
    FsDirImpl* d = new (std::nothrow) FsDirImpl;
    if (!d) return nullptr;
    CxStr1p pattern = pathJoin(path, "*");
    d->h = FindFirstFileA(pattern.c_str(), &d->fd);
    if (d->h == INVALID_HANDLE_VALUE) {
        // A drive root may hold nothing at all.
        if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            delete d;
            return nullptr;
        }
    } else {
        d->pending = true;
    }
    return d;
}

static bool osDirClose(FsDirImpl* impl) {
    bool ok = impl->h == INVALID_HANDLE_VALUE || FindClose(impl->h);
    delete impl;
    return ok;
}

static bool osDirNext(FsDirImpl* impl, CxStr1p& out) {
    if (impl->h == INVALID_HANDLE_VALUE) return false;
    if (!impl->pending && !FindNextFileA(impl->h, &impl->fd)) return false;
    impl->pending = false;
    return out.setCstr(impl->fd.cFileName);
}

static int osFsFdOpen(CxStr1p const& p, char how, int) {
    int flags = _O_BINARY | _O_NOINHERIT;
    if (how == 'r')
        flags |= _O_RDONLY;
    else if (how == 'a')
        flags |= _O_WRONLY | _O_CREAT | _O_APPEND;
    else
        flags |= _O_WRONLY | _O_CREAT | _O_TRUNC;
    return _open(p.c_str(), flags, _S_IREAD | _S_IWRITE);
}

// The runtime's fopen makes an inheritable handle, and not every runtime
// knows a mode letter against that; _open's flag is known to all.
static FILE* osFsFopen(char const* path, char const* mode) {
    bool plus = strchr(mode, '+') != nullptr;
    int rw = plus ? _O_RDWR : _O_WRONLY;
    int flags = _O_NOINHERIT;
    if (mode[0] == 'r')
        flags |= plus ? _O_RDWR : _O_RDONLY;
    else if (mode[0] == 'w')
        flags |= rw | _O_CREAT | _O_TRUNC;
    else if (mode[0] == 'a')
        flags |= rw | _O_CREAT | _O_APPEND;
    else {
        errno = EINVAL;
        return nullptr;
    }
    if (strchr(mode, 'b'))
        flags |= _O_BINARY;
    else if (strchr(mode, 't'))
        flags |= _O_TEXT;
    int fd = _open(path, flags, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    FILE* f = _fdopen(fd, mode);
    if (!f) _close(fd);
    return f;
}

// The runtime's append mode seeks to the end and then writes: two writers
// appending to one file overwrite each other's lines. The system's own
// end-of-file offset puts each write at the end at once.
static bool osFsAppendBytes(CxStr1p const& p, char const* data, long long n) {
    // Threads of this process append one after the other.
    static std::mutex appendLock;
    std::lock_guard<std::mutex> lk(appendLock);
    HANDLE h = CreateFileA(p.c_str(), FILE_APPEND_DATA | FILE_WRITE_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    // Other processes (file workers) take turns through a lock on one byte far
    // past any end: a write at the end is not atomic across processes
    // everywhere (Wine), and the lock touches no byte anyone reads or writes.
    // The lock is asked for without waiting, again and again for at most two
    // seconds: a lost wake-up must not hang the build; the write goes on then.
    OVERLAPPED turn = {};
    turn.Offset = 0xFFFFFFFEUL;
    turn.OffsetHigh = 0x7FFFFFFFUL;
    bool locked = false;
    for (ULONGLONG until = GetTickCount64() + 2000; !locked;) {
        locked =
            LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &turn) != 0;
        if (locked || GetTickCount64() > until) break;
        Sleep(0);
    }
    bool ok = true;
    while (ok && n > 0) {
        DWORD part = n > 0x40000000LL ? 0x40000000UL : (DWORD)n, done = 0;
        OVERLAPPED at = {};
        at.Offset = 0xFFFFFFFFUL;
        at.OffsetHigh = 0xFFFFFFFFUL;
        ok = WriteFile(h, data, part, &done, &at) && done > 0;
        data += done;
        n -= done;
    }
    if (locked) UnlockFileEx(h, 0, 1, 0, &turn);
    return CloseHandle(h) && ok;
}

static int osFdClose(int fd) {
    return _close(fd);
}

// The runtime takes at most an int's worth at a time.
static long long osFdRead(int fd, char* buf, long long n) {
    if (n > 0x40000000LL) n = 0x40000000LL;
    return _read(fd, buf, (unsigned)n);
}

static long long osFdWrite(int fd, char const* buf, long long n) {
    if (n > 0x40000000LL) n = 0x40000000LL;
    return _write(fd, buf, (unsigned)n);
}

// Older systems' console handles refuse the flag; they are no real handles.
static void notInherited(int fd) {
    HANDLE h = (HANDLE)winHandleOfFd(fd);
    if (winHandleValid(h)) SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0);
}

// The runtime's copies are inheritable. Ours stay ours: a command left running
// in the background would otherwise hold our output open after we end. The
// standard descriptors 0, 1 and 2 are what children get, so they keep the flag.
static int osFdDup(int fd) {
    int d = _dup(fd);
    if (d >= 0) notInherited(d);
    return d;
}

static int osFdDup2(int a, int b) {
    int r = _dup2(a, b);
    if (r >= 0 && b > 2) notInherited(b);
    return r;
}

static int osFdOpen(char const* path, int flags) {
    return _open(path, flags | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

static FILE* osFdStream(int fd, char const* mode) {
    return _fdopen(fd, mode);
}

static int osStreamFd(FILE* fs) {
    return _fileno(fs);
}

static int osFsFilePerm(CxStr1p const&) {
    return 0666;
}

static bool osRegReadStrSet(CxStr1p& out, CxStr1p const& key, CxStr1p const& name) {
    static struct {
        char const* name;
        HKEY root;
    } const roots[] = {{"HKLM", HKEY_LOCAL_MACHINE},  {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                       {"HKCU", HKEY_CURRENT_USER},   {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                       {"HKCR", HKEY_CLASSES_ROOT},   {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                       {"HKU", HKEY_USERS},           {"HKEY_USERS", HKEY_USERS},
                       {"HKCC", HKEY_CURRENT_CONFIG}, {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}};
    CxStr1p k = pathToBackSlash(key);
    long long cut = 0;
    if (!k.findIndex(cut, '\\')) cut = k.len;
    CxStr1p rootName(k.c_str(), cut);
    CxStr1p sub(cut < k.len ? k.c_str() + cut + 1 : "");
    HKEY root = nullptr;
    for (auto const& r : roots)
        if (strIsEqIcase(rootName, r.name)) root = r.root;
    if (!root) return false;
    HKEY hk;
    if (RegOpenKeyExA(root, sub.c_str(), 0, KEY_READ, &hk) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExA(hk, name.c_str(), nullptr, &type, nullptr, &size);
    bool ok = rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ);
    CxStr1p r;
    if (ok) ok = r.reserve((long long)size + 2);
    if (ok) {
        DWORD got = size;
        ok = RegQueryValueExA(hk, name.c_str(), nullptr, &type, (BYTE*)r.data, &got) ==
             ERROR_SUCCESS;
        if (ok) {
            // The stored text need not end with a zero byte.
            if (got > size) got = size;
            r.data[got] = 0;
            r.forceValidLen(got);
        }
    }
    RegCloseKey(hk);
    return ok && out.setMove(r);
}

FsSys const& fsSys() {
    static constexpr FsSys kSys = {
        osFsbStat,
        osFsaStat,
        osFsaStatListed,
        osFsStatListsUse,
        osFsStatAheadPays,
        osFsSetExeBits,
        osFsIsSameFile,
        osFsCd,
        osFsCwdSet,
        osFsPathMaxBytes,
        osFsMkDir,
        osFsRmEntry,
        osFsSetTime,
        osFsCreateEmpty,
        osFsSetSize,
        osFsRename,
        osFsMkSymLink,
        osFsReadLink,
        osFsRealPath,
        osFsPathListSep,
        osFsExeSuffix,
        osFsInitExePath,
        osDirOpen,
        osDirClose,
        osDirNext,
        osFsFdOpen,
        osFsFopen,
        osFsAppendBytes,
        osFsFilePerm,
        osRegReadStrSet,
        osFdRead,
        osFdWrite,
        osFdClose,
        osFdDup,
        osFdDup2,
        osFdOpen,
        {_O_RDONLY, _O_WRONLY, _O_CREAT, _O_TRUNC, _O_APPEND, _O_BINARY},
        osFdStream,
        osStreamFd,
        "nul",
    };
    return kSys;
}
