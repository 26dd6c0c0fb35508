// Cached status of paths: one FsStat per path, for the path itself (b...)
// and for what it leads to when it is a link (a...). A bag maps paths to
// their status and can refresh it; lsLmt finds the newest file in trees.
#pragma once

#include "base/containers.h"
#include "base/str.h"

struct FsStat {
    char bType = 0; // 'F', 'D', 'L' or 0 (missing or another kind)
    long long bSize = 0;
    long long bTime = 0; // ns since 1970
    char aType = 0;      // after following links
    long long aSize = 0;
    long long aTime = 0;
    bool isExe = false;

    void clear();
    bool isValid() const;
    // False for an empty or missing path and for a dangling link (its b
    // fields are then filled, the a fields 0).
    bool readStat(CxStr1p const& path);
    // The letter is upper-cased; 'X' tests isExe.
    bool fsbIsType(char ch) const;
    bool fsaIsType(char ch) const;

    // Only the type of the path and the followed time take part.
    bool operator==(FsStat const& o) const { return bType == o.bType && aTime == o.aTime; }
    bool operator!=(FsStat const& o) const { return !(*this == o); }
};

FsStat fileFsStat(CxStr1p const& path);
bool fileFsStatSet(FsStat& st, CxStr1p const& path);

typedef Map_Kobj2Vobj<CxStr1p, FsStat> FsStatBag;

// Reads and stores the path when it has no entry or its entry says missing;
// true only when the path had no entry before.
bool bagFsStatAdd(FsStatBag& bag, CxStr1p const& path);
// Reads and stores the path always.
bool bagFsStatSet(FsStatBag& bag, CxStr1p const& path);
// As above, then lmt is raised to the entry's aTime.
bool bagFsStatAdd_UpdLmt(FsStatBag& bag, long long& lmt, CxStr1p const& path);
bool bagFsStatSet_UpdLmt(FsStatBag& bag, long long& lmt, CxStr1p const& path);
// Greatest aTime; 0 for an empty bag.
long long bagFsStatLmt(FsStatBag const& bag);
// First entry in key order whose aTime is at least minTime.
bool bagFsStatFindIndexGETime(CxStr1p& pathOut, long long& timeOut, FsStatBag const& bag,
                              long long minTime);
// Re-reads every entry (all) or only those recorded as missing; false for
// an empty bag, else whether every re-read succeeded.
bool bagFsStatUpdate(FsStatBag& bag, bool all);
bool bagFsStatUpdateRec(FsStatBag& bag, bool all);

// Newest modification time of the files among the paths (split at "|\r\n")
// and in the directory trees below them; a directory's own time never
// counts. Flags: "." only the first level, "L" entry types with links
// followed, "S" descend into linked directories too (not into one that lies
// within a tree already scanned), "R" accepted. type limits the entries that
// count to that type letter (0: all).
long long lsLmt(char const* flags, CxStr1p const& paths, char type = 0);
bool lsLmtSet(char const* flags, long long& out, CxStr1p const& paths, char type = 0);
