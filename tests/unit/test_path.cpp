#include <gtest/gtest.h>

#include <initializer_list>

#include "base/path.h"

TEST(PathClassify, AbsoluteRootAndBan) {
    for (char const* p : {"/a", "C:/a", "c:\\"})
        EXPECT_TRUE(pathIsAbsolute(p)) << p;
    for (char const* p : {"C:a", "C:", "", "./a", "1:/a"})
        EXPECT_FALSE(pathIsAbsolute(p)) << p;
    for (char const* p : {"/", "C:", "d:/"})
        EXPECT_TRUE(pathIsRoot(p)) << p;
    EXPECT_FALSE(pathIsRoot("C:/x"));
    // Never removed: a root, the current directory or its ancestors, however spelled.
    for (char const* p : {"", ".", "..", "./", "../", "/", "\\", "C:", "C:/", "C:\\", "//", "/x/..",
                          "a/..", ".\\", "../..", "./.", "C:/x/..", "C:."})
        EXPECT_TRUE(pathBanRm(p)) << p;
    for (char const* p : {"C:/x", "a", ".a", "a/b/..", "../x", "/x"})
        EXPECT_FALSE(pathBanRm(p)) << p;
    EXPECT_TRUE(isPathDevIO("/dev/null"));
    EXPECT_FALSE(isPathDevIO("/dev/null/"));
}

// One-argument forms: input, function, result. ".." cannot climb above the
// root; a root is its own directory.
TEST(PathForms, Table) {
    struct {
        CxStr1p (*fn)(CxStr1p const&);
        char const* in;
        char const* want;
    } const rows[] = {
        {pathToSlash, "C:\\a\\b", "c:/a/b"},
        {pathToSlash, "ab:\\x", "ab:/x"},
        {pathCleanSep, "a\\\\b//c/\\d", "a/b/c/d"},
        {pathCleanSep, "//srv/x", "/srv/x"},
        {pathCleanSep, "C::\\x", "C:/x"},
        {pathCleanDots, "a/b/../c", "a/c"},
        {pathCleanDots, "../x", "../x"},
        {pathCleanDots, "x/..", ""},
        {pathCleanDots, "/x/..", "/"},
        {pathCleanDots, "a/../../c", "../c"},
        {pathCleanDots, "a/.", "a"},
        {pathCleanDots, "a/.../b", "a/.../b"},
        {pathCleanDots, "a/b..", "a/b.."},
        {pathCleanDots, "..", ".."},
        {pathCleanDots, "/../x", "/x"},
        {pathCleanDots, "C:/../x", "C:/x"},
        {pathCleanAll, "C:\\a\\\\.\\b\\..\\c\\", "C:/a/c/"},
        {pathDirPart, "a/b/c", "a/b/"},
        {pathDirPart, "c", "./"},
        {pathDirPart, "C:x", "C:"},
        {pathDirPart, "a\\b", "a/"},
        {pathDirPart, "/", "/"},
        {pathDirPart, "C:/", "C:/"},
        {pathFilePart, "a\\b\\\\", "b"},
        {pathFilePart, "C:x", "x"},
        {pathFilePart, "///", ""},
        {pathExtPart, "d.x/a.tar.gz", "gz"},
        {pathExtPart, "d.x/a", ""},
    };
    for (auto const& r : rows)
        EXPECT_EQ(r.fn(r.in), r.want) << r.in;
    EXPECT_TRUE(pathHasExtIcase("bin/tool.EXE", "exe"));
    EXPECT_FALSE(pathHasExtIcase("bin.exe/tool", "exe"));
    CxStr1p p("dir.d/");
    EXPECT_TRUE(pathDelExtIcase(p, "d"));
    EXPECT_EQ(p, "dir/");
}

TEST(PathJoin, JoinKeepsOneSeparator) {
    struct {
        char const *a, *b, *want;
    } const rows[] = {
        {"a/", "/b", "a/b"}, {"a", "b", "a/b"},    {"a\\", "b", "a\\b"}, {"a", "", "a"},
        {"/", "", "/"},      {"C:/", "", "C:/"},   {"", "/b", "b"},      {"/", "x", "/x"},
        {"a//", "", "a"},    {"x", "/y/", "x/y/"},
    };
    for (auto const& r : rows)
        EXPECT_EQ(pathJoin(r.a, r.b), r.want) << r.a << " + " << r.b;
    CxStr1p p("x");
    EXPECT_TRUE(pathJoinSet(p, p, p));
    EXPECT_EQ(p, "x/x");
}
