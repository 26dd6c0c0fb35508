// Paths as plain texts: classify, normalise, split and join them without
// touching the file system. Paths are kept with forward slashes; "/" and "\"
// both separate directories, and for finding names ":" does too.
#pragma once

#include "base/str.h"

bool pathIsAbsolute(CxStr1p const& p);
bool pathIsRelative(CxStr1p const& p);
bool pathIsRoot(CxStr1p const& p);
// True for paths that must never be removed: empty, the current directory,
// its ancestors and every root.
bool pathBanRm(CxStr1p const& p);

bool pathToSlashSet(CxStr1p& p);
CxStr1p pathToSlash(CxStr1p const& p);
bool pathToBackSlashSet(CxStr1p& p, bool doubled = false);
CxStr1p pathToBackSlash(CxStr1p const& p, bool doubled = false);
bool pathToNativeOSSet(CxStr1p& p);
CxStr1p pathToNativeOS(CxStr1p const& p);
bool pathToLowerDrvSet(CxStr1p& p);
CxStr1p pathToLowerDrv(CxStr1p const& p);
bool pathToUpperDrvSet(CxStr1p& p);
CxStr1p pathToUpperDrv(CxStr1p const& p);

// Separators become single "/" (and runs of ":" one ":").
bool pathCleanSepSet(CxStr1p& p);
CxStr1p pathCleanSep(CxStr1p const& p);
// Resolves "." and ".." names textually.
bool pathCleanDotsSet(CxStr1p& p);
CxStr1p pathCleanDots(CxStr1p const& p);
bool pathCleanAllSet(CxStr1p& p);
CxStr1p pathCleanAll(CxStr1p const& p);

// a/b/c -> a/b/ and c; c -> ./ and c; C:x -> C: and x.
bool pathDirPartSet(CxStr1p& p);
CxStr1p pathDirPart(CxStr1p const& p);
bool pathFilePartSet(CxStr1p& p);
CxStr1p pathFilePart(CxStr1p const& p);
bool pathSplit(CxStr1p& dir, CxStr1p& file, CxStr1p const& p);

// File part without the text from its last "." / from its first ".".
bool pathNamePartSet(CxStr1p& p);
CxStr1p pathNamePart(CxStr1p const& p);
bool pathNameOnlyPartSet(CxStr1p& p);
CxStr1p pathNameOnlyPart(CxStr1p const& p);
// File part after its last "." / after its first "."; empty without ".".
bool pathExtPartSet(CxStr1p& p);
CxStr1p pathExtPart(CxStr1p const& p);
bool pathExtAllPartSet(CxStr1p& p);
CxStr1p pathExtAllPart(CxStr1p const& p);
bool pathHasExtIcase(CxStr1p const& p, CxStr1p const& ext);
bool pathHasExtAllIcase(CxStr1p const& p, CxStr1p const& ext);
// Remove the matching extension with its "."; false when it does not match.
bool pathDelExtIcase(CxStr1p& p, CxStr1p const& ext);
bool pathDelExtAllIcase(CxStr1p& p, CxStr1p const& ext);

bool pathJoinSet(CxStr1p& out, CxStr1p const& a, CxStr1p const& b);
CxStr1p pathJoin(CxStr1p const& a, CxStr1p const& b);
bool pathAddSet(CxStr1p& a, CxStr1p const& b);
bool pathPrependSet(CxStr1p& a, CxStr1p const& b);

// Longest leading part of both that ends at a directory boundary.
bool pathCommonSet(CxStr1p& out, CxStr1p const& a, CxStr1p const& b);
CxStr1p pathCommon(CxStr1p const& a, CxStr1p const& b);

// "/dev/stdin", "/dev/stdout", "/dev/stderr", "/dev/null".
bool isPathDevIO(CxStr1p const& p);
bool isPathNormal(CxStr1p const& p);

// Index searches. A name is a run of bytes other than "/", "\" and ":".
// Next name at or after pos: [pos, end).
bool pathFindNextName(long long& pos, long long& end, CxStr1p const& p);
// Last name, trailing separators skipped: [start, end).
bool pathFindLastName(long long& start, long long& end, CxStr1p const& p);
// Start of the run of "/" and "\" at the end (the length when there is none).
bool pathFindSepAtEnd(long long& pos, CxStr1p const& p);
// The last "/", "\" or ":" (before the trailing separators with skipTrailing).
bool pathFindSep4Split(long long& pos, CxStr1p const& p, bool skipTrailing);
