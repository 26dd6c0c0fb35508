// The platform half of base/fs: one table per platform (fs_posix.cpp or
// fs_win.cpp). The portable checks are made in fs.cpp before these are called.
#pragma once

#include <cstdio>

#include "base/fs.h"

// The platform's open flags (0 where it has no such flag).
struct FsOpenBits {
    int rdOnly, wrOnly, create, trunc, append, binary;
};

struct FsSys {
    bool (*fsbStat)(FsStatBuf& st, CxStr1p const& p);
    bool (*fsaStat)(FsStatBuf& st, CxStr1p const& p);
    bool (*fsaStatListed)(FsStatBuf& st, CxStr1p const& p);
    void (*fsStatListsUse)(bool on);
    bool (*fsStatAheadPays)();
    bool (*fsSetExeBits)(CxStr1p const& p, bool on);
    bool (*fsIsSameFile)(CxStr1p const& a, CxStr1p const& b);
    bool (*fsCd)(CxStr1p const& path); // path not empty
    bool (*fsCwdSet)(CxStr1p& out);
    long long (*fsPathMaxBytes)();
    bool (*fsMkDir)(CxStr1p const& p);
    bool (*fsRmEntry)(CxStr1p const& p);
    bool (*fsSetTime)(CxStr1p const& p, long long ns, bool follow);
    bool (*fsCreateEmpty)(CxStr1p const& p);
    bool (*fsSetSize)(CxStr1p const& p, long long size);
    bool (*fsRename)(CxStr1p const& src, CxStr1p const& dst);
    bool (*fsMkSymLink)(CxStr1p const& link, CxStr1p const& target);
    bool (*fsReadLink)(CxStr1p& out, CxStr1p const& p);
    bool (*fsRealPath)(CxStr1p& out, CxStr1p const& p);
    char (*fsPathListSep)();
    char const* (*fsExeSuffix)();
    bool (*fsExePathFind)(CxStr1p& out, char const* argv0);
    // A listing of a directory (path not empty); null when it cannot be read.
    FsDirImpl* (*dirOpen)(CxStr1p const& path);
    bool (*dirClose)(FsDirImpl* d); // also frees d
    bool (*dirNext)(FsDirImpl* d, CxStr1p& out);
    int (*fsFdOpen)(CxStr1p const& p, char how, int perm);
    FILE* (*fsFopen)(char const* path, char const* mode); // neither null
    bool (*fsAppendBytes)(CxStr1p const& p, char const* data, long long n);
    int (*fsFilePerm)(CxStr1p const& p);
    bool (*regReadStrSet)(CxStr1p& out, CxStr1p const& key, CxStr1p const& name);
    // Raw descriptor calls, one system call each: the count moved or -1 with
    // errno set.
    long long (*fdRead)(int fd, char* buf, long long n);
    long long (*fdWrite)(int fd, char const* buf, long long n);
    int (*fdClose)(int fd);
    int (*fdDup)(int fd);
    int (*fdDup2)(int a, int b);
    int (*fdOpen)(char const* path, int flags);
    FsOpenBits openBits;
    FILE* (*fdStream)(int fd, char const* mode);
    int (*streamFd)(FILE* fs);
    char const* nullPath;
};

FsSys const& fsSys();
