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

#include "base/fs.h"
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

bool fsbStat_OnPosix(FsStatBuf& st, CxStr1p const& p) {
    st = FsStatBuf();
    if (p.isEmpty()) return false;
    struct stat s;
    if (lstat(p.c_str(), &s) != 0) return false;
    return fillStat(st, s);
}

bool fsaStat_OnPosix(FsStatBuf& st, CxStr1p const& p) {
    st = FsStatBuf();
    if (p.isEmpty()) return false;
    struct stat s;
    if (stat(p.c_str(), &s) != 0) return false;
    return fillStat(st, s);
}

bool fsbStat(FsStatBuf& st, CxStr1p const& p) {
    return fsbStat_OnPosix(st, p);
}

bool fsaStat(FsStatBuf& st, CxStr1p const& p) {
    return fsaStat_OnPosix(st, p);
}

// One stat per file costs no more than reading a directory here.
bool fsaStatListed_OnPosix(FsStatBuf& st, CxStr1p const& p) {
    return fsaStat_OnPosix(st, p);
}
void fsStatListsUse_OnPosix(bool) {}
bool fsaStatListed(FsStatBuf& st, CxStr1p const& p) {
    return fsaStatListed_OnPosix(st, p);
}
void fsStatListsUse(bool on) {
    fsStatListsUse_OnPosix(on);
}
bool fsStatAheadPays_OnPosix() {
    return true;
}
bool fsStatAheadPays() {
    return fsStatAheadPays_OnPosix();
}

bool fsSetExeBits_OnPosix(CxStr1p const& p, bool on) {
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

bool fsSetExeBits(CxStr1p const& p, bool on) {
    return fsSetExeBits_OnPosix(p, on);
}

bool fsIsSameFile_OnPosix(CxStr1p const& a, CxStr1p const& b) {
    struct stat sa, sb;
    if (a.isEmpty() || b.isEmpty()) return false;
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool fsIsSameFile(CxStr1p const& a, CxStr1p const& b) {
    return fsIsSameFile_OnPosix(a, b);
}

bool fsCd_OnPosix(CxStr1p const& path) {
    return chdir(path.c_str()) == 0;
}

bool fsCd(CxStr1p const& path, bool ifEmpty) {
    if (path.isEmpty()) return ifEmpty;
    return fsCd_OnPosix(path);
}

bool fsCwdSet_OnPosix(CxStr1p& out) {
    // POSIX paths may be longer than the 260 bytes of Windows.
    char buf[PATH_MAX + 1];
    if (!getcwd(buf, sizeof buf)) {
        out.clear();
        return false;
    }
    return out.setCstr(buf) && !out.isEmpty();
}

long long fsPathMaxBytes() {
    return PATH_MAX;
}

bool fsCwdSet(CxStr1p& out) {
    return fsCwdSet_OnPosix(out);
}

bool fsMkDir_OnPosix(CxStr1p const& p) {
    if (p.isEmpty()) return false;
    mkdir(p.c_str(), 0777);
    return fsaIsDir(p);
}

bool fsMkDir(CxStr1p const& p) {
    return fsMkDir_OnPosix(p);
}

bool fsRmEntry_OnPosix(CxStr1p const& p) {
    struct stat s;
    if (lstat(p.c_str(), &s) != 0) return false;
    if (S_ISDIR(s.st_mode)) return rmdir(p.c_str()) == 0;
    // A link, to a directory or not, is removed itself.
    return unlink(p.c_str()) == 0;
}

bool fsRmEntry(CxStr1p const& p) {
    return fsRmEntry_OnPosix(p);
}

bool fsSetTime_OnPosix(CxStr1p const& p, long long ns, bool follow) {
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

bool fsSetTime(CxStr1p const& p, long long ns, bool follow) {
    return fsSetTime_OnPosix(p, ns, follow);
}

bool fsCreateEmpty_OnPosix(CxStr1p const& p) {
    if (p.isEmpty()) return false;
    int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    return close(fd) == 0;
}

bool fsCreateEmpty(CxStr1p const& p) {
    return fsCreateEmpty_OnPosix(p);
}

bool fsSetSize_OnPosix(CxStr1p const& p, long long size) {
    if (p.isEmpty() || size < 0) return false;
    return truncate(p.c_str(), (off_t)size) == 0;
}

bool fsSetSize(CxStr1p const& p, long long size) {
    return fsSetSize_OnPosix(p, size);
}

bool fsRename_OnPosix(CxStr1p const& src, CxStr1p const& dst) {
    if (src.isEmpty() || dst.isEmpty()) return false;
    return rename(src.c_str(), dst.c_str()) == 0;
}

bool fsRename(CxStr1p const& src, CxStr1p const& dst) {
    return fsRename_OnPosix(src, dst);
}

bool fsMkSymLink_OnPosix(CxStr1p const& link, CxStr1p const& target) {
    if (link.isEmpty() || target.isEmpty()) return false;
    return symlink(target.c_str(), link.c_str()) == 0;
}

bool fsMkSymLink(CxStr1p const& link, CxStr1p const& target) {
    // The link must be there afterwards, whatever the call reported.
    return fsMkSymLink_OnPosix(link, target) && fsbIsLink(link);
}

bool fsReadLink_OnPosix(CxStr1p& out, CxStr1p const& p) {
    out.clear();
    if (p.isEmpty()) return false;
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

bool fsReadLink(CxStr1p& out, CxStr1p const& p) {
    return fsReadLink_OnPosix(out, p);
}

bool fsRealPath_OnPosix(CxStr1p& out, CxStr1p const& p) {
    out.clear();
    if (p.isEmpty()) return false;
    char* r = realpath(p.c_str(), nullptr);
    if (!r) return false;
    bool ok = out.setCstr(r);
    free(r);
    return ok && !out.isEmpty();
}

bool fsRealPath(CxStr1p& out, CxStr1p const& p) {
    return fsRealPath_OnPosix(out, p);
}

char fsPathListSep_OnPosix() {
    return ':';
}

char fsPathListSep() {
    return fsPathListSep_OnPosix();
}

char const* fsExeSuffix() {
    return "";
}

bool fsInitExePath_OnPosix(CxStr1p& out, char const* argv0) {
    out.clear();
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

bool fsExePathFind(CxStr1p& out, char const* argv0) {
    return fsInitExePath_OnPosix(out, argv0);
}

struct FsDirImpl {
    DIR* d = nullptr;
};

bool FsDir::open(CxStr1p const& path) {
    if (impl || path.isEmpty()) return false;
    DIR* d = opendir(path.c_str());
    if (!d) return false;
    impl = new (std::nothrow) FsDirImpl;
    if (!impl) {
        closedir(d);
        return false;
    }
    impl->d = d;
    return true;
}

bool FsDir::close() {
    if (!impl) return true;
    bool ok = closedir(impl->d) == 0;
    delete impl;
    impl = nullptr;
    return ok;
}

bool FsDir::nextRaw(CxStr1p& out) {
    if (!impl) return false;
    errno = 0;
    struct dirent* e = readdir(impl->d);
    if (!e) return false;
    return out.setCstr(e->d_name);
}

int fsFdOpen_OnPosix(CxStr1p const& p, char how, int perm) {
    if (p.isEmpty()) return -1;
    int flags = O_CLOEXEC;
    if (how == 'r')
        flags |= O_RDONLY;
    else if (how == 'a')
        flags |= O_WRONLY | O_CREAT | O_APPEND;
    else
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
    return open(p.c_str(), flags, (mode_t)(perm & 07777));
}

FILE* fsFopen_OnPosix(char const* path, char const* mode) {
    if (!path || !mode) return nullptr;
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

FILE* fsFopen(char const* path, char const* mode) {
    return fsFopen_OnPosix(path, mode);
}

int fsFdOpen(CxStr1p const& p, char how, int perm) {
    return fsFdOpen_OnPosix(p, how, perm);
}

// O_APPEND puts each write at the end at once, also with other writers.
bool fsAppendBytes_OnPosix(CxStr1p const& p, char const* data, long long n) {
    int fd = fsFdOpen_OnPosix(p, 'a', 0666);
    if (fd < 0) return false;
    long long done = 0;
    int err = 0;
    bool ok = n <= 0 || cbufWriteFd(fd, data, n, done, err);
    return fsFdClose(fd) && ok;
}

bool fsAppendBytes(CxStr1p const& p, char const* data, long long n) {
    return fsAppendBytes_OnPosix(p, data, n);
}

bool fsFdClose(int fd) {
    return fd >= 0 && close(fd) == 0;
}

bool cbufReadFd(int fd, char* buf, long long size, long long& done, int& err) {
    done = 0;
    err = 0;
    if (fd < 0) {
        err = EBADF;
        return false;
    }
    if (size < 1) return true;
    ssize_t n;
    do {
        n = read(fd, buf, (size_t)size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        err = errno;
        return false;
    }
    done = (long long)n;
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
        ssize_t w = write(fd, buf + done, (size_t)(n - done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            err = w < 0 ? errno : EIO;
            return false;
        }
        done += (long long)w;
    }
    return true;
}

int fsFilePerm_OnPosix(CxStr1p const& p) {
    struct stat s;
    if (p.isEmpty() || stat(p.c_str(), &s) != 0) return 0666;
    return (int)(s.st_mode & 0777);
}

int fsFilePerm(CxStr1p const& p) {
    return fsFilePerm_OnPosix(p);
}

bool regReadStrSet(CxStr1p& out, CxStr1p const&, CxStr1p const&) {
    // No registry here.
    out.clear();
    return false;
}
