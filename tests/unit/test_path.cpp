#include <gtest/gtest.h>

#include <initializer_list>

#include "base/path.h"

TEST(PathClassify, AbsoluteRootAndBan) {
    EXPECT_TRUE(pathIsAbsolute("/a"));
    EXPECT_TRUE(pathIsAbsolute("C:/a"));
    EXPECT_TRUE(pathIsAbsolute("c:\\"));
    EXPECT_FALSE(pathIsAbsolute("C:a"));
    EXPECT_FALSE(pathIsAbsolute("C:"));
    EXPECT_FALSE(pathIsAbsolute(""));
    EXPECT_FALSE(pathIsAbsolute("./a"));
    EXPECT_FALSE(pathIsAbsolute("1:/a"));
    EXPECT_TRUE(pathIsRelative("a/b"));
    EXPECT_TRUE(pathIsRelative(""));
    EXPECT_FALSE(pathIsRelative("/"));

    EXPECT_TRUE(pathIsRoot("/"));
    EXPECT_TRUE(pathIsRoot("C:"));
    EXPECT_TRUE(pathIsRoot("d:/"));
    EXPECT_FALSE(pathIsRoot("C:/x"));
    EXPECT_FALSE(pathIsRoot("a"));

    for (char const* p : {"", ".", "..", "./", "../", "/", "\\", "C:", "C:/", "C:\\"})
        EXPECT_TRUE(pathBanRm(p)) << p;
    // Other spellings of a root, the current directory or its ancestors.
    for (char const* p : {"//", "/x/..", "a/..", ".\\", "../..", "./.", "C:/x/..", "C:."})
        EXPECT_TRUE(pathBanRm(p)) << p;
    for (char const* p : {"C:/x", "a", ".a", "a/b/..", "../x", "/x"})
        EXPECT_FALSE(pathBanRm(p)) << p;

    EXPECT_TRUE(isPathDevIO("/dev/null"));
    EXPECT_FALSE(isPathDevIO("/dev/nul"));
    EXPECT_FALSE(isPathDevIO("/dev/null/"));
    EXPECT_TRUE(isPathNormal("x"));
    EXPECT_FALSE(isPathNormal(""));
    EXPECT_FALSE(isPathNormal("/dev/stdout"));
}

TEST(PathConvert, SlashesAndDrive) {
    EXPECT_EQ(pathToSlash("C:\\a\\b"), "c:/a/b");
    EXPECT_EQ(pathToSlash("ab:\\x"), "ab:/x");
    EXPECT_EQ(pathToBackSlash("c:/a/b"), "C:\\a\\b");
    EXPECT_EQ(pathToBackSlash("a/b\\c", true), "a\\\\b\\\\c");
    EXPECT_EQ(pathToNativeOS("x:/y/z"), "X:\\y\\z");
    EXPECT_EQ(pathToUpperDrv("c:/a/b"), "C:/a/b");
    EXPECT_EQ(pathToLowerDrv("C:\\A"), "c:\\A");
    CxStr1p p("c:/q/r");
    EXPECT_TRUE(pathToNativeOSSet(p));
    EXPECT_EQ(p, "C:\\q\\r");
    EXPECT_TRUE(pathToSlashSet(p));
    EXPECT_EQ(p, "c:/q/r");
}

TEST(PathClean, SeparatorsAndDots) {
    EXPECT_EQ(pathCleanSep("a\\\\b//c/\\d"), "a/b/c/d");
    EXPECT_EQ(pathCleanSep("//srv/x"), "/srv/x");
    EXPECT_EQ(pathCleanSep("C::\\x"), "C:/x");

    EXPECT_EQ(pathCleanDots("a/b/../c"), "a/c");
    EXPECT_EQ(pathCleanDots("a/./b"), "a/b");
    EXPECT_EQ(pathCleanDots("../x"), "../x");
    EXPECT_EQ(pathCleanDots("x/.."), "");
    EXPECT_EQ(pathCleanDots("/x/.."), "/");
    EXPECT_EQ(pathCleanDots("C:/a/../b"), "C:/b");
    EXPECT_EQ(pathCleanDots("a/b/../../c"), "c");
    EXPECT_EQ(pathCleanDots("a/../../c"), "../c");
    EXPECT_EQ(pathCleanDots("./a"), "a");
    EXPECT_EQ(pathCleanDots("a/."), "a");
    EXPECT_EQ(pathCleanDots("a/.../b"), "a/.../b");
    EXPECT_EQ(pathCleanDots("a/b.."), "a/b..");
    for (char const* p : {"/", ".", "./", "..", "../"})
        EXPECT_EQ(pathCleanDots(p), p);
    // ".." cannot climb above the root.
    EXPECT_EQ(pathCleanDots("/../x"), "/x");
    EXPECT_EQ(pathCleanDots("C:/../x"), "C:/x");

    EXPECT_EQ(pathCleanAll("C:\\a\\\\.\\b\\..\\c\\"), "C:/a/c/");
    CxStr1p p("a//./b/../c");
    EXPECT_TRUE(pathCleanAllSet(p));
    EXPECT_EQ(p, "a/c");
}

TEST(PathParts, DirFileAndSplit) {
    EXPECT_EQ(pathDirPart("a/b/c"), "a/b/");
    EXPECT_EQ(pathDirPart("c"), "./");
    EXPECT_EQ(pathDirPart("/c"), "/");
    EXPECT_EQ(pathDirPart("C:x"), "C:");
    EXPECT_EQ(pathDirPart("C:\\x"), "C:/");
    EXPECT_EQ(pathDirPart("a\\b"), "a/");
    EXPECT_EQ(pathDirPart(""), "./");
    EXPECT_EQ(pathDirPart("./"), "./");
    // A root is its own directory, never the current one.
    EXPECT_EQ(pathDirPart("/"), "/");
    EXPECT_EQ(pathDirPart("C:/"), "C:/");

    EXPECT_EQ(pathFilePart("a/b/c"), "c");
    EXPECT_EQ(pathFilePart("a\\b\\\\"), "b");
    EXPECT_EQ(pathFilePart("C:x"), "x");
    EXPECT_EQ(pathFilePart("///"), "");
    EXPECT_EQ(pathFilePart(""), "");
    EXPECT_EQ(pathFilePart("./"), "./");

    CxStr1p d, f;
    EXPECT_TRUE(pathSplit(d, f, "x/y/z/"));
    EXPECT_EQ(d, "x/y/");
    EXPECT_EQ(f, "z");
    EXPECT_FALSE(pathSplit(d, d, "x/y"));
    // The source may be one of the outputs.
    CxStr1p p("m/n");
    EXPECT_TRUE(pathSplit(p, f, p));
    EXPECT_EQ(p, "m/");
    EXPECT_EQ(f, "n");
    p = "u/v/w";
    EXPECT_TRUE(pathDirPartSet(p));
    EXPECT_EQ(p, "u/v/");
    p = "u/v/w";
    EXPECT_TRUE(pathFilePartSet(p));
    EXPECT_EQ(p, "w");
}

TEST(PathParts, NamesAndExtensions) {
    EXPECT_EQ(pathNamePart("d.x/a.tar.gz"), "a.tar");
    EXPECT_EQ(pathNameOnlyPart("d.x/a.tar.gz"), "a");
    EXPECT_EQ(pathExtPart("d.x/a.tar.gz"), "gz");
    EXPECT_EQ(pathExtAllPart("d.x/a.tar.gz"), "tar.gz");
    EXPECT_EQ(pathExtPart("d.x/a"), "");
    EXPECT_EQ(pathNamePart("d.x/a"), "a");

    EXPECT_TRUE(pathHasExtIcase("bin/tool.EXE", "exe"));
    EXPECT_FALSE(pathHasExtIcase("bin/tool.exe", "ex"));
    EXPECT_FALSE(pathHasExtIcase("bin.exe/tool", "exe"));
    EXPECT_TRUE(pathHasExtAllIcase("a.Tar.gz", "tar.GZ"));
    EXPECT_FALSE(pathHasExtAllIcase("a.tar.gz", "gz"));

    CxStr1p p("tool.EXE");
    EXPECT_TRUE(pathDelExtIcase(p, "exe"));
    EXPECT_EQ(p, "tool");
    EXPECT_FALSE(pathDelExtIcase(p, "exe"));
    EXPECT_EQ(p, "tool");
    p = "x.y/a.tar.gz";
    EXPECT_FALSE(pathDelExtAllIcase(p, "gz"));
    EXPECT_TRUE(pathDelExtAllIcase(p, "TAR.gz"));
    EXPECT_EQ(p, "x.y/a");
    p = "dir.d/";
    EXPECT_TRUE(pathDelExtIcase(p, "d"));
    EXPECT_EQ(p, "dir/");
}

TEST(PathJoin, JoinAddPrependCommon) {
    EXPECT_EQ(pathJoin("a/", "/b"), "a/b");
    EXPECT_EQ(pathJoin("a", "b"), "a/b");
    EXPECT_EQ(pathJoin("a\\", "b"), "a\\b");
    EXPECT_EQ(pathJoin("a", ""), "a");
    EXPECT_EQ(pathJoin("/", ""), "/");
    EXPECT_EQ(pathJoin("C:/", ""), "C:/");
    EXPECT_EQ(pathJoin("", "/b"), "b");
    EXPECT_EQ(pathJoin("/", "x"), "/x");

    CxStr1p p("a");
    EXPECT_TRUE(pathAddSet(p, "b/"));
    EXPECT_EQ(p, "a/b/");
    EXPECT_TRUE(pathAddSet(p, "/c"));
    EXPECT_EQ(p, "a/b/c");
    EXPECT_TRUE(pathPrependSet(p, "/r/"));
    EXPECT_EQ(p, "/r/a/b/c");
    p = "/x";
    EXPECT_TRUE(pathPrependSet(p, ""));
    EXPECT_EQ(p, "x");
    EXPECT_TRUE(pathJoinSet(p, p, p));
    EXPECT_EQ(p, "x/x");

    EXPECT_EQ(pathCommon("a/b/c", "a/b/d"), "a/b/");
    EXPECT_EQ(pathCommon("a/b", "a/b/c"), "a/b");
    EXPECT_EQ(pathCommon("a/bc", "a/b"), "a/");
    EXPECT_EQ(pathCommon("ab", "ac"), "");
    EXPECT_EQ(pathCommon("", "a"), "");
    EXPECT_EQ(pathCommon("/x", "/y"), "/");
}

TEST(PathFind, IndexSearches) {
    CxStr1p p("/ab//c:d/");
    long long pos = 0, end = 0;
    ASSERT_TRUE(pathFindNextName(pos, end, p));
    EXPECT_EQ(pos, 1);
    EXPECT_EQ(end, 3);
    pos = end;
    ASSERT_TRUE(pathFindNextName(pos, end, p));
    EXPECT_EQ(pos, 5);
    EXPECT_EQ(end, 6);
    pos = end;
    ASSERT_TRUE(pathFindNextName(pos, end, p));
    EXPECT_EQ(pos, 7);
    EXPECT_EQ(end, 8);
    pos = end;
    EXPECT_FALSE(pathFindNextName(pos, end, p));

    long long start = -1;
    ASSERT_TRUE(pathFindLastName(start, end, p));
    EXPECT_EQ(start, 7);
    EXPECT_EQ(end, 8);
    EXPECT_FALSE(pathFindLastName(start, end, "//"));

    EXPECT_TRUE(pathFindSepAtEnd(pos, "a/b\\/"));
    EXPECT_EQ(pos, 3);
    EXPECT_FALSE(pathFindSepAtEnd(pos, "a/b"));
    EXPECT_EQ(pos, 3);

    EXPECT_TRUE(pathFindSep4Split(pos, "a/b/c/", true));
    EXPECT_EQ(pos, 3);
    EXPECT_TRUE(pathFindSep4Split(pos, "a/b/c/", false));
    EXPECT_EQ(pos, 5);
    EXPECT_TRUE(pathFindSep4Split(pos, "C:x", true));
    EXPECT_EQ(pos, 1);
    EXPECT_FALSE(pathFindSep4Split(pos, "abc", true));
}
