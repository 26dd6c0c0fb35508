// POSIX side of the file system operations: stat with nanosecond times,
// symbolic links, utimensat, /proc/self/exe.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "base/fs_sys.h"
#include "base/path.h"

namespace {

bool fillStat(FsStatBuf& st, struct stat const& s) {
    if (S_ISLNK(s.st_mode))
        st.type = 'L';
    else if (S_ISDIR(s.st_mode))
        st.type = 'D';
    else if (S_ISREG(s.st_mode))
        st.type = 'F';
    else
        st.type = 0;
    // The owner decides: a file its owner may run counts as executable.
    st.isExe = S_ISREG(s.st_mode) && (s.st_mode & S_IXUSR) != 0;
    st.size = (long long)s.st_size;
    long long t = (long long)s.st_mtim.tv_sec * 1000000000LL + (long long)s.st_mtim.tv_nsec;
    st.time = t > 0 ? t : 0;
    return true;
}

} // namespace

static bool osFsbStat(FsStatBuf& st, CxStr1p const& p) {
    struct stat s;
    if (lstat(p.c_str(), &s) != 0) return false;
    return fillStat(st, s);
}

static bool osFsaStat(FsStatBuf& st, CxStr1p const& p) {
    struct stat s;
    if (stat(p.c_str(), &s) != 0) return false;
    return fillStat(st, s);
}

// One stat per file costs no more than reading a directory here.
static bool osFsaStatListed(FsStatBuf& st, CxStr1p const& p) {
    return fsaStat(st, p);
}
static void osFsStatListsUse(bool) {}
static bool osFsStatAheadPays() {
    return true;
}

static bool osFsSetExeBits(CxStr1p const& p, bool on) {
    struct stat s;
    if (p.isEmpty() || stat(p.c_str(), &s) != 0) return false;
    mode_t m = s.st_mode & 07777;
    if (on) {
        // Execute where reading is allowed, as a plain "chmod +x" would.
        m |= S_IXUSR;
        if (m & S_IRGRP) m |= S_IXGRP;
        if (m & S_IROTH) m |= S_IXOTH;
    } else {
        m &= ~(mode_t)(S_IXUSR | S_IXGRP | S_IXOTH);
    }
    return chmod(p.c_str(), m) == 0;
}

static bool osFsIsSameFile(CxStr1p const& a, CxStr1p const& b) {
    struct stat sa, sb;
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

static bool osFsCd(CxStr1p const& path) {
    return chdir(path.c_str()) == 0;
}

static bool osFsCwdSet(CxStr1p& out) {
    // POSIX paths may be longer than the 260 bytes of Windows.
    char buf[PATH_MAX + 1];
    if (!getcwd(buf, sizeof buf)) {
        out.clear();
        return false;
    }
    return out.setCstr(buf) && !out.isEmpty();
}

static long long osFsPathMaxBytes() {
    return PATH_MAX;
}

static bool osFsMkDir(CxStr1p const& p) {
    mkdir(p.c_str(), 0777);
    return fsaIsDir(p);
}

static bool osFsRmEntry(CxStr1p const& p) {
    struct stat s;
    if (lstat(p.c_str(), &s) != 0) return false;
    if (S_ISDIR(s.st_mode)) return rmdir(p.c_str()) == 0;
    // A link, to a directory or not, is removed itself.
    return unlink(p.c_str()) == 0;
}

static bool osFsSetTime(CxStr1p const& p, long long ns, bool follow) {
    struct timespec ts[2];
    if (ns < 1) {
        // The kernel's clock for "now" is the one it stamps writes with, so a
        // touched file never looks newer than one written right after it.
        ts[0].tv_sec = ts[1].tv_sec = 0;
        ts[0].tv_nsec = ts[1].tv_nsec = UTIME_NOW;
    } else {
        ts[0].tv_sec = ts[1].tv_sec = (time_t)(ns / 1000000000LL);
        ts[0].tv_nsec = ts[1].tv_nsec = (long)(ns % 1000000000LL);
    }
    return utimensat(AT_FDCWD, p.c_str(), ts, follow ? 0 : AT_SYMLINK_NOFOLLOW) == 0;
}

static bool osFsCreateEmpty(CxStr1p const& p) {
    int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    return close(fd) == 0;
}

static bool osFsSetSize(CxStr1p const& p, long long size) {
    return truncate(p.c_str(), (off_t)size) == 0;
}

static bool osFsRename(CxStr1p const& src, CxStr1p const& dst) {
    return rename(src.c_str(), dst.c_str()) == 0;
}

static bool osFsMkSymLink(CxStr1p const& link, CxStr1p const& target) {
    return symlink(target.c_str(), link.c_str()) == 0;
}

static bool osFsReadLink(CxStr1p& out, CxStr1p const& p) {
    struct stat s;
    if (lstat(p.c_str(), &s) != 0 || !S_ISLNK(s.st_mode)) return false;
    long long size = s.st_size > 0 ? (long long)s.st_size + 1 : PATH_MAX;
    // The link may change between the calls; grow until the target fits.
    for (int tries = 0; tries < 8; tries++) {
        CxStr1p buf;
        if (!buf.reserve(size + 1)) return false;
        ssize_t n = readlink(p.c_str(), buf.data, (size_t)size);
        if (n < 0) return false;
        if ((long long)n < size) {
            buf.data[n] = 0;
            buf.forceValidLen(n);
            return out.setMove(buf) && !out.isEmpty();
        }
        size *= 2;
    }
    return false;
}

static bool osFsRealPath(CxStr1p& out, CxStr1p const& p) {
    char* r = realpath(p.c_str(), nullptr);
    if (!r) return false;
    bool ok = out.setCstr(r);
    free(r);
    return ok && !out.isEmpty();
}

static char osFsPathListSep() {
    return ':';
}

static char const* osFsExeSuffix() {
    return "";
}

static bool osFsInitExePath(CxStr1p& out, char const* argv0) {
    CxStr1p self;
    if (fsReadLink(self, "/proc/self/exe") && pathIsAbsolute(self)) return out.setMove(self);
    if (!argv0 || !argv0[0]) return false;
    CxStr1p name(argv0);
    // A name with a directory part is relative to the start directory, as
    // the shell that started us saw it; a bare name came through PATH.
    if (name.hasVal('/')) {
        CxStr1p full = pathIsAbsolute(name) ? name : pathJoin(fsOrigCwd(), name);
        pathCleanAllSet(full);
        if (!fsaIsExe(full)) return false;
        return out.setMove(full);
    }
    return fsFindExeInPathAndDirSet(out, name, fsOrigCwd());
}

struct FsDirImpl {
    DIR* d = nullptr;
};

static FsDirImpl* osDirOpen(CxStr1p const& path) {
    DIR* d = opendir(path.c_str());
    if (!d) return nullptr;
    FsDirImpl* impl = new (std::nothrow) FsDirImpl;
    if (!impl) {
        closedir(d);
        return nullptr;
    }
    impl->d = d;
    return impl;
}

static bool osDirClose(FsDirImpl* impl) {
    bool ok = closedir(impl->d) == 0;
    delete impl;
    return ok;
}

static bool osDirNext(FsDirImpl* impl, CxStr1p& out) {
    errno = 0;
    struct dirent* e = readdir(impl->d);
    if (!e) return false;
    return out.setCstr(e->d_name);
}

static int osFsFdOpen(CxStr1p const& p, char how, int perm) {
    int flags = O_CLOEXEC;
    if (how == 'r')
        flags |= O_RDONLY;
    else if (how == 'a')
        flags |= O_WRONLY | O_CREAT | O_APPEND;
    else
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
    return open(p.c_str(), flags, (mode_t)(perm & 07777));
}

static FILE* osFsFopen(char const* path, char const* mode) {
    // "e" opens with O_CLOEXEC at once: a child started by another thread in
    // between cannot take the descriptor along.
    char m[16];
    size_t n = strlen(mode);
    if (n + 2 > sizeof m) return nullptr;
    memcpy(m, mode, n);
    m[n] = 'e';
    m[n + 1] = 0;
    return fopen(path, m);
}

// O_APPEND puts each write at the end at once, also with other writers.
static bool osFsAppendBytes(CxStr1p const& p, char const* data, long long n) {
    int fd = osFsFdOpen(p, 'a', 0666);
    if (fd < 0) return false;
    long long done = 0;
    int err = 0;
    bool ok = n <= 0 || cbufWriteFd(fd, data, n, done, err);
    return fsFdClose(fd) && ok;
}

static int osFdClose(int fd) {
    return close(fd);
}

static long long osFdRead(int fd, char* buf, long long n) {
    return (long long)read(fd, buf, (size_t)n);
}

static long long osFdWrite(int fd, char const* buf, long long n) {
    return (long long)write(fd, buf, (size_t)n);
}

// Our own copies and files stay ours: a child that inherited one (a command
// left running in the background) would hold our output open after we end.
// What a child should have is put on 0, 1 or 2 with dup2, which clears the flag.
static int osFdDup(int fd) {
    return fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

static int osFdDup2(int a, int b) {
    if (b > 2 && a != b) return dup3(a, b, O_CLOEXEC);
    return dup2(a, b);
}

static int osFdOpen(char const* path, int flags) {
    return open(path, flags | O_CLOEXEC, 0666);
}

static FILE* osFdStream(int fd, char const* mode) {
    return fdopen(fd, mode);
}

static int osStreamFd(FILE* fs) {
    return fileno(fs);
}

static int osFsFilePerm(CxStr1p const& p) {
    struct stat s;
    if (p.isEmpty() || stat(p.c_str(), &s) != 0) return 0666;
    return (int)(s.st_mode & 0777);
}

static bool osRegReadStrSet(CxStr1p&, CxStr1p const&, CxStr1p const&) {
    // No registry here.
    return false;
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
        {O_RDONLY, O_WRONLY, O_CREAT, O_TRUNC, O_APPEND, 0},
        osFdStream,
        osStreamFd,
        "/dev/null",
    };
    return kSys;
}
