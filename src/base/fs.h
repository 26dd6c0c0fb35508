// File system operations on paths: status queries, working directory,
// directories, removal, touching, copying, moving, joining text files and
// finding executables. Nothing here writes messages; results say it all.
// `fsb...` looks at the path itself (a link stays a link), `fsa...` follows
// links. Times are modification times in nanoseconds since 1970 (0: none).
#pragma once

#include <cstdio>

#include "base/str.h"

// ---- Status of one path as the platform reports it
struct FsStatBuf {
    char type = 0; // 'F' file, 'D' directory, 'L' link, 0 none or other kind
    bool isExe = false;
    long long size = 0;
    long long time = 0;
};

// False for an empty or missing path; the record is then zero.
bool fsbStat(FsStatBuf& st, CxStr1p const& p);
bool fsaStat(FsStatBuf& st, CxStr1p const& p);

// As fsaStat, for the many queries of a build's first look at its files. On
// Windows a directory is listed once and its entries answer every later query
// in it (a link still gets its own query, so the answer is always fsaStat's
// for the files as they were listed); elsewhere a query per file is the cheap
// way already. fsStatListsUse drops what was listed; after it is called with
// false (a recipe is about to change files) every query is fsaStat's.
bool fsaStatListed(FsStatBuf& st, CxStr1p const& p);
void fsStatListsUse(bool on);
// True where fsaStat from two threads at once answers a build's first look
// sooner than fsaStatListed from one: not on Windows, whose listings serve
// one thread.
bool fsStatAheadPays();

char fsStatType(FsStatBuf const& st);
// Size below 1 becomes 0, a negative time 0; true when the time is positive.
bool fsStatSizeTime(long long& size, long long& time, FsStatBuf const& st);
bool fsStatIsExe(FsStatBuf const& st);

// ---- Queries. A type letter is upper-cased; 'X' asks for an executable file.
bool fsbExist(CxStr1p const& p);
bool fsaExist(CxStr1p const& p);
char fsbType(CxStr1p const& p);
char fsaType(CxStr1p const& p);
bool fsbIsType(char ch, CxStr1p const& p);
bool fsaIsType(char ch, CxStr1p const& p);
bool fsbIsDir(CxStr1p const& p);
bool fsbIsNotDir(CxStr1p const& p);
bool fsbIsFile(CxStr1p const& p);
bool fsbIsExe(CxStr1p const& p);
bool fsbIsLink(CxStr1p const& p);
bool fsaIsDir(CxStr1p const& p);
bool fsaIsNotDir(CxStr1p const& p);
bool fsaIsFile(CxStr1p const& p);
bool fsaIsExe(CxStr1p const& p);
long long fsbSize(CxStr1p const& p);
long long fsaSize(CxStr1p const& p);
bool fsbSize(long long& size, CxStr1p const& p); // true when the path exists
bool fsaSize(long long& size, CxStr1p const& p);
long long fsbTime(CxStr1p const& p);
long long fsaTime(CxStr1p const& p);
bool fsbTime(long long& time, CxStr1p const& p); // true when the time is positive
bool fsaTime(long long& time, CxStr1p const& p);
bool fsbSizeTime(long long& size, long long& time, CxStr1p const& p);
bool fsaSizeTime(long long& size, long long& time, CxStr1p const& p);
// -1, 0, 1; when b has no time (size), 1 if a has one, else 0.
int fsbCmpTime(CxStr1p const& a, CxStr1p const& b);
int fsaCmpTime(CxStr1p const& a, CxStr1p const& b);
int fsbCmpSize(CxStr1p const& a, CxStr1p const& b);
int fsaCmpSize(CxStr1p const& a, CxStr1p const& b);
// Turns the execute permission on or off where the platform has one (POSIX:
// owner, and group/others where they may read); Windows decides by extension
// and nothing changes. True when the path has type ch (0: any) and its
// executable state then equals on.
bool fsaSetExe(CxStr1p const& p, char ch, bool on);
bool fsSetExeBits(CxStr1p const& p, bool on);

// Same file reached by two paths (device and file number), links followed.
bool fsIsSameFile(CxStr1p const& a, CxStr1p const& b);

// ---- Working directory
// An empty path changes nothing and returns ifEmpty.
bool fsCd(CxStr1p const& path, bool ifEmpty = false);
// Back slashes turned into slashes; true when not empty.
bool fsCwdSet(CxStr1p& out);
// The longest path, in bytes, the working directory can be read with.
long long fsPathMaxBytes();
CxStr1p fsCwd();
// The working directory at the start of the run: the text given, else the
// current one.
bool fsInitOrigCwd(char const* text = nullptr);
bool fsOrigCwdSet(CxStr1p& out);
CxStr1p fsOrigCwd();
bool fsCdOrigCwd();

// ---- Directories
// True when the path (links followed) is a directory afterwards.
bool fsMkDir(CxStr1p const& p);
bool fsMkDirRec(CxStr1p const& p);
bool fsMkDirPartRec(CxStr1p const& p);

// ---- Executable of this process, worked out once. argv0 is the fallback on
// POSIX when /proc/self/exe cannot be read; Windows reads its command line.
bool fsInitExePath(char const* argv0 = nullptr);
bool fsExePathFind(CxStr1p& out, char const* argv0);
// The Set forms return whether the kept path is absolute.
bool fsExePathSet(CxStr1p& out);
bool fsExeDirSet(CxStr1p& out);
bool fsExeNameSet(CxStr1p& out); // file name without ".exe"
CxStr1p fsExePath();
CxStr1p fsExeDir();
CxStr1p fsExeName();
// Windows appends ".exe" and splits PATH at ';'; POSIX executables have no
// extension and PATH splits at ':'.
bool fsFindExeInPathAndDirSet(CxStr1p& out, CxStr1p const& name, CxStr1p const& dir);
CxStr1p fsFindExeInPathAndDir(CxStr1p const& name, CxStr1p const& dir);
char fsPathListSep();
char const* fsExeSuffix();

// ---- Removal; paths that pathBanRm bans are refused. Links are never followed.
bool fsRm(CxStr1p const& p);
bool fsRmRec(CxStr1p const& p);
// Removes one entry: a directory (only when empty) or a directory link with
// rmdir, anything else with remove.
bool fsRmEntry(CxStr1p const& p);

// ---- Touching and truncation. ns below 1 means now. Mode 'E'/'e': only an
// existing path (else false); 'N'/'n': only a missing one (an existing path
// stays untouched, true); anything else: always.
bool fsbTouch(CxStr1p const& p, long long ns = 0, char mode = 0);
bool fsaTouch(CxStr1p const& p, long long ns = 0, char mode = 0);
bool fsaTouchRec(CxStr1p const& p, long long ns = 0, char mode = 0);
bool fsaTrunc(CxStr1p const& p, long long size, char mode = 0);
bool fsaTruncRec(CxStr1p const& p, long long size, char mode = 0);
// True when limit is below 1, else when the time is within limit of ns.
bool fsbTouchVerify(CxStr1p const& p, long long ns, long long limit);
bool fsaTouchVerify(CxStr1p const& p, long long ns, long long limit);
// Platform parts: set the time of an existing path, create an empty file
// without truncating, set a file's size.
bool fsSetTime(CxStr1p const& p, long long ns, bool follow);
bool fsCreateEmpty(CxStr1p const& p);
bool fsSetSize(CxStr1p const& p, long long size);

// ---- Copy and move. Mode letters: 'a' append, 'p' create the target's
// parent directories. A target ending with a separator receives the source's
// file name. Copies keep the source's time, appends do not.
bool fsaFileCopyFd(CxStr1p const& src, CxStr1p const& dst, char const* mode = "");
bool fsaFileCopyFs(CxStr1p const& src, CxStr1p const& dst, char const* mode = "");
bool fsbFileCopyFd(CxStr1p const& src, CxStr1p const& dst, char const* mode = "");
bool fsbFileCopyFs(CxStr1p const& src, CxStr1p const& dst, char const* mode = "");
// Recreates the link src at dst (replacing a file or link there).
bool fsbLinkCopy(CxStr1p const& src, CxStr1p const& dst);
bool fsaFileMoveFd(CxStr1p const& src, CxStr1p const& dst, char const* mode = "");
bool fsaFileMoveFs(CxStr1p const& src, CxStr1p const& dst, char const* mode = "");
bool fsbFileMoveFd(CxStr1p const& src, CxStr1p const& dst, char const* mode = "");
bool fsbFileMoveFs(CxStr1p const& src, CxStr1p const& dst, char const* mode = "");
// Rename that replaces an existing target file; false across drives.
bool fsRename(CxStr1p const& src, CxStr1p const& dst);
// Equal texts, or neither a directory and the same bytes.
bool fileIsSameFd(CxStr1p const& a, CxStr1p const& b);
bool fileIsSameFs(CxStr1p const& a, CxStr1p const& b);
bool fileCopyOnDiffFd(CxStr1p const& src, CxStr1p const& dst, char const* mode = "");
bool fileCopyOnDiffFs(CxStr1p const& src, CxStr1p const& dst, char const* mode = "");
bool fileMoveRmOnDiffFd(CxStr1p const& src, CxStr1p const& dst, char const* mode = "");
bool fileMoveRmOnDiffFs(CxStr1p const& src, CxStr1p const& dst, char const* mode = "");
// Joins the "|"-separated text files into output with one line-end style.
// Mode 'p' creates the output's directories, 'a' appends.
bool fileCat(CxStr1p const& inputs, CxStr1p const& output, char const* mode = "",
             CxStr1p const& newline = "");

// ---- Links and real paths. Windows makes a directory junction through cmd.
bool fsMkSymLink(CxStr1p const& link, CxStr1p const& target);
bool fsReadLink(CxStr1p& out, CxStr1p const& p);
CxStr1p fsReadLink(CxStr1p const& p);
bool fsRealPath(CxStr1p& out, CxStr1p const& p);
CxStr1p fsRealPath(CxStr1p const& p);

// First of dirs x names (lists split at "|\r\n") that exists (type 0) or has
// the type; without dirs the names alone. Empty when none.
CxStr1p fsPickPath(CxStr1p const& dirs, CxStr1p const& names, char type = 0);

// ---- Directory and file streams
struct FsDirImpl;
class FsDir {
  public:
    FsDir() = default;
    FsDir(FsDir const&) = delete;
    FsDir& operator=(FsDir const&) = delete;
    ~FsDir() { close(); }

    bool open(CxStr1p const& path); // false when one is open already
    bool reopen(CxStr1p const& path);
    bool close();
    bool isOpen() const { return impl != nullptr; }
    // Next name; both flags false skip "." and "..", noHidden skips every name
    // starting with ".", all alone skips nothing. False at the end.
    bool nextInDir(CxStr1p& out, bool all = false, bool noHidden = false);

  private:
    FsDirImpl* impl = nullptr;
    bool nextRaw(CxStr1p& out);
};

class FsFile {
  public:
    FILE* fs = nullptr;
    FsFile() = default;
    FsFile(FsFile const&) = delete;
    FsFile& operator=(FsFile const&) = delete;
    ~FsFile() { close(); }

    bool open(CxStr1p const& path, char const* mode); // false when one is open
    bool reopen(CxStr1p const& path, char const* mode);
    bool close();
    bool isOpen() const { return fs != nullptr; }
};

// Entry names in byte order, one per line; directories end with "/" (the
// fsa form follows links for that test). "." and ".." are left out.
bool fsbLsDir(CxStr1p& out, CxStr1p const& dir);
bool fsaLsDir(CxStr1p& out, CxStr1p const& dir);

// One line without its line end; false at the end of the stream.
bool fsStrReadLine(FILE* fs, CxStr1p& out);

// ---- Byte blocks between a buffer and a descriptor or stream. done counts
// the bytes moved, err the error number (0 when none).
bool cbufReadFd(int fd, char* buf, long long size, long long& done, int& err);
bool cbufWriteFd(int fd, char const* buf, long long n, long long& done, int& err);
bool cbufReadFs(FILE* fs, char* buf, long long size, long long& done, int& err);
bool cbufWriteFs(FILE* fs, char const* buf, long long n, long long& done, int& err);
// Descriptors on files: how 'r' read, 'w' write (truncating), 'a' append;
// perm is the permission of a new file where the platform has them.
int fsFdOpen(CxStr1p const& p, char how, int perm = 0666);
// Appends n bytes to the file (made when missing) so that other processes and
// threads appending to it at the same time lose nothing.
bool fsAppendBytes(CxStr1p const& p, char const* data, long long n);
bool fsFdClose(int fd);

// ---- Raw descriptors: one system call each, no retry; -1 with errno set on
// failure. Copies and files opened here are never inherited by children; a
// copy put on 0, 1 or 2 is (that is how a child receives it).
long long fdReadRaw(int fd, char* buf, long long n);
long long fdWriteRaw(int fd, char const* buf, long long n);
int fdCloseRaw(int fd);
int fdDupRaw(int fd);
int fdDup2Raw(int a, int b);
int fdOpenRaw(char const* path, int flags);
// Flags for fdOpenRaw from mode letters: r read, w write (truncating), a
// append, t write (created, kept), b binary where the platform has it.
int fdOpenFlags(char const* mode);
FILE* fdStreamRaw(int fd, char const* mode);
int fdOfStreamRaw(FILE* fs);
// The path of the null device.
char const* fdNullPath();
// fopen for this process alone: children never inherit the stream's descriptor.
FILE* fsFopen(char const* path, char const* mode);
// Permission bits of a file (0666 where the platform has none).
int fsFilePerm(CxStr1p const& p);

int memCmp(void const* a, void const* b, long long n);
int memCmp4(void const* a, void const* b, long long n4); // n4 words of 4 bytes
bool memIsExact(void const* a, void const* b, long long n);
bool memIsExact4(void const* a, void const* b, long long n4);
bool memIsEqRef(void const* p, long long n, unsigned char ref); // every byte is ref

// ---- Windows registry: key like "HKLM\\Software\\X" (or HKEY_LOCAL_MACHINE,
// HKCU, HKEY_CURRENT_USER, HKCR, HKU); false elsewhere and when missing.
bool regReadStrSet(CxStr1p& out, CxStr1p const& key, CxStr1p const& name);
