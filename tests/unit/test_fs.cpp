#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include <system_error>

#include "base/fs.h"
#include "base/path.h"
#include "base/textedit.h"
#include "base/timenum.h"
#include "scratch.h"

namespace {

namespace sfs = std::filesystem;

constexpr long long kSec = 1000000000LL;
// A fixed past time, a multiple of 100 ns so every file system keeps it exactly.
constexpr long long kOld = 1500000000LL * kSec + 123456700LL;

bool onWindows() {
    return fsExeSuffix()[0] != 0;
}

// Changes into a directory for one test and back afterwards.
struct CwdGuard {
    CxStr1p saved = fsCwd();
    ~CwdGuard() { fsCd(saved); }
};

typedef ScratchDirTest FsQuery, FsDirs, FsRemove, FsTouch, FsCopy, FsMove, FsCat, FsLinks, FsRawFd;

// A build's first look at its files answers as a query per file does, for
// every kind of name; a file made after its directory was listed is seen once
// the listings are dropped.
TEST_F(FsQuery, ListedStatusEqualsQueryPerFile) {
    CwdGuard back;
    ASSERT_TRUE(fsCd(CxStr1p(dir.c_str())));
    put("a.txt", "abc");
    ASSERT_TRUE(fsbTouch(P("a.txt"), kOld, 0));
    put("run.exe", "x");
    sfs::create_directories(dir + "/Sub/deep");
    put("Sub/B.dat", "12345");
    bool linked = fsMkSymLink(P("dl"), P("Sub")); // a junction on Windows
    fsStatListsUse(true);
    char const* names[] = {
        "a.txt",        "A.TXT",    "./a.txt",  "Sub/B.dat", "sub/b.dat", "Sub\\B.dat",
        "Sub/../a.txt", "Sub",      "Sub/deep", "Sub/",      "run.exe",   "missing",
        "Sub/missing",  "nodir/x",  "a.txt/x",  "a.txt.",    "a.txt ",    "",
        "dl",           "dl/B.dat", "*.txt",    "a~1.txt"};
    std::string absolute = dir + "/Sub/B.dat";
    std::vector<std::string> all(names, names + sizeof names / sizeof *names);
    all.push_back(absolute);
    for (int pass = 0; pass < 2; ++pass) // the second pass reads the listings made by the first
        for (std::string const& n : all) {
            if (!linked && n.compare(0, 2, "dl") == 0) continue;
            FsStatBuf w, g;
            bool wOk = fsaStat(w, CxStr1p(n.c_str())), gOk = fsaStatListed(g, CxStr1p(n.c_str()));
            EXPECT_EQ((std::vector<long long>{gOk, g.type, g.size, g.time, g.isExe}),
                      (std::vector<long long>{wOk, w.type, w.size, w.time, w.isExe}))
                << n;
        }
    put("Sub/late.txt", "x");
    FsStatBuf st;
    bool seen = fsaStatListed(st, CxStr1p("Sub/late.txt"));
    EXPECT_EQ(seen, !onWindows()) << "on Windows Sub was listed before the file was made";
    fsStatListsUse(false);
    EXPECT_TRUE(fsaStatListed(st, CxStr1p("Sub/late.txt")));
    EXPECT_EQ(st.size, 1);
}

TEST_F(FsDirs, MkDirAndRecursive) {
    put("file", "x");
    EXPECT_TRUE(fsMkDir(P("one")));
    EXPECT_TRUE(fsMkDir(P("one"))) << "an existing directory is fine";
    EXPECT_FALSE(fsMkDir(P("file"))) << "an existing file is not a directory";
    EXPECT_FALSE(fsMkDir(P("no/such")));
    EXPECT_FALSE(fsMkDir(""));

    EXPECT_FALSE(fsMkDirRec(P("file/sub/deeper")) || has("file/sub")) << "a file in the way";

    EXPECT_TRUE(fsMkDirPartRec(P("p/q/out.txt")));
    EXPECT_TRUE(sfs::is_directory(dir + "/p/q") && !has("p/q/out.txt"));
}

TEST_F(FsRemove, FilesDirectoriesAndRefusals) {
    put("f", "x");
    sfs::create_directories(dir + "/full/sub");
    sfs::create_directory(dir + "/empty");
    EXPECT_TRUE(fsRm(P("f")) && !has("f"));
    EXPECT_TRUE(fsRm(P("f"))) << "already gone";
    EXPECT_FALSE(fsRm(P("full"))) << "a directory with entries stays";
    EXPECT_TRUE(has("full/sub"));
    EXPECT_TRUE(fsRm(P("empty/")) && !has("empty")) << "trailing separator dropped";

    // Refusals, checked from inside a scratch directory so that a failure
    // could only ever hit our own files.
    sfs::create_directories(dir + "/base/inner");
    put("base/inner/keep", "k");
    put("base/keep", "k");
    CwdGuard g;
    ASSERT_TRUE(fsCd(P("base/inner")));
    for (char const* p : {"", ".", "./", "..", "../", "x/..", "./.", ".\\", "x/../.."}) {
        EXPECT_FALSE(fsRm(p)) << "'" << p << "'";
        EXPECT_FALSE(fsRmRec(p)) << "'" << p << "'";
    }
    EXPECT_TRUE(has("base/inner/keep") && has("base/keep"));
}

TEST_F(FsRemove, LinksAreNeverFollowed) {
    sfs::create_directories(dir + "/outside");
    put("outside/precious", "p");
    sfs::create_directories(dir + "/t");
    if (!fsMkSymLink(P("t/link"), P("outside"))) {
        EXPECT_FALSE(fsbExist(P("t/link"))) << "no false success";
        GTEST_SKIP() << "directory links cannot be made here";
    }
    ASSERT_TRUE(fsMkSymLink(P("lnk2"), P("outside")));
    EXPECT_TRUE(fsRm(P("lnk2/")) && !has("lnk2")) << "the link goes, not the directory";
    EXPECT_TRUE(fsRmRec(P("t")) && !has("t"));
    EXPECT_EQ(get("outside/precious"), "p");
}

TEST_F(FsTouch, ModesAndTimes) {
    CxStr1p f = P("f");
    EXPECT_FALSE(fsaTouch(f, 0, 'e') || has("f")) << "e: only existing paths";
    EXPECT_TRUE(fsaTouch(f) && has("f"));
    long long now = timeRealNs();
    EXPECT_LT(llabs(fsaTime(f) - now), 120 * kSec);

    ASSERT_TRUE(fsaTouch(f, kOld, 'e'));
    EXPECT_EQ(fsaTime(f), kOld);
    put("data", "content");
    ASSERT_TRUE(fsaTouch(P("data"), kOld, 0));
    EXPECT_EQ(get("data"), "content") << "touch never truncates";
    sfs::create_directory(dir + "/d");
    EXPECT_TRUE(fsaTouch(P("d"), kOld, 0)) << "directories take times too";
    EXPECT_EQ(fsaTime(P("d")), kOld);
}

TEST_F(FsCopy, KeepsTimeAndReplaces) {
    std::string big;
    for (int i = 0; i < 3000; i++)
        big += "line " + std::to_string(i) + "\n"; // several blocks
    put("src", big);
    CxStr1p src = P("src");
    ASSERT_TRUE(fsaTouch(src, kOld, 0));

    EXPECT_TRUE(fsaFileCopyFd(src, P("dst")));
    EXPECT_EQ(get("dst"), big);
    EXPECT_EQ(fsaTime(P("dst")), kOld);
    put("over", "much longer old content than the new one, to be cut");
    put("small", "new");
    EXPECT_TRUE(fsaFileCopyFd(P("small"), P("over")));
    EXPECT_EQ(get("over"), "new") << "a copy replaces, it does not overlay";
}

TEST_F(FsCopy, TargetsAndRefusals) {
    put("src", "abc");
    sfs::create_directory(dir + "/into");
    CxStr1p src = P("src");
    EXPECT_TRUE(fsaFileCopyFd(src, P("into/")));
    EXPECT_EQ(get("into/src"), "abc");
    EXPECT_TRUE(fsaFileCopyFs(src, P("into/")));

    EXPECT_TRUE(fsaFileCopyFd(src, src)) << "onto itself: nothing to do";
    EXPECT_EQ(get("src"), "abc");
    EXPECT_FALSE(fsaFileCopyFd(P("gone"), P("gone"))) << "itself, but missing";
    // Another spelling of the same file must not empty it.
    EXPECT_TRUE(fsaFileCopyFd(src, P("into/../src")));
    EXPECT_EQ(get("src"), "abc");
}

TEST_F(FsMove, RenameKeepsContentAndTime) {
    put("a", "alpha");
    ASSERT_TRUE(fsaTouch(P("a"), kOld, 0));
    EXPECT_TRUE(fsaFileMoveFd(P("a"), P("b")) && !has("a"));
    EXPECT_TRUE(get("b") == "alpha" && fsaTime(P("b")) == kOld);
}

TEST_F(FsCat, LineEndRules) {
    put("crlf", "a\r\nb\r\n");
    put("lf", "c\nd\n");
    put("lf2", "e\nf");
    put("cr", "g\rh\r");
    put("none", "plain");
    EXPECT_TRUE(fileCat(P("crlf") + "|" + P("lf"), P("o1")));
    EXPECT_EQ(get("o1"), "a\r\nb\r\nc\r\nd\r\n") << "any CR LF input wins";
    EXPECT_TRUE(fileCat(P("lf") + "|" + P("lf2"), P("o2")));
    EXPECT_EQ(get("o2"), "c\nd\ne\nf");
    EXPECT_TRUE(fileCat(P("crlf") + "|" + P("none"), P("o5"), "", "\n")) << "override";
    EXPECT_EQ(get("o5"), "a\nb\nplain");
    EXPECT_TRUE(fileCat(P("none") + "|" + P("lf"), P("o6")));
    EXPECT_EQ(get("o6"), "plainc\nd\n") << "a text without line ends does not vote";
}

TEST_F(FsLinks, LinkQueriesCopiesAndPaths) {
    sfs::create_directory(dir + "/target");
    put("target/f", "data");
    if (!fsMkSymLink(P("dl"), P("target"))) {
        EXPECT_FALSE(fsbExist(P("dl"))) << "no false success";
        GTEST_SKIP() << "links cannot be made here";
    }
    EXPECT_TRUE(fsbType(P("dl")) == 'L' && fsaType(P("dl")) == 'D' && fsaIsFile(P("dl/f")));
    CxStr1p t;
    EXPECT_TRUE(fsReadLink(t, P("dl")));
    EXPECT_EQ(t, P("target"));
    EXPECT_FALSE(fsReadLink(t, P("target"))) << "not a link";
    // Directory junctions are all Windows makes; file links are POSIX only.
    if (onWindows()) return;
    ASSERT_TRUE(fsMkSymLink(P("fl"), "target/f"));
    EXPECT_TRUE(fsbType(P("fl")) == 'L' && fsaType(P("fl")) == 'F' && fsaSize(P("fl")) == 4);
    ASSERT_TRUE(fsbTouch(P("target/f"), kOld, 0));
    EXPECT_EQ(fsaTime(P("fl")), kOld);
    EXPECT_TRUE(fsbTouch(P("fl"), kOld + kSec, 0)) << "the link's own time";
    EXPECT_TRUE(fsbTime(P("fl")) == kOld + kSec && fsaTime(P("fl")) == kOld);

    EXPECT_TRUE(fsbFileCopyFd(P("fl"), P("flcopy")));
    EXPECT_EQ(fsbType(P("flcopy")), 'L') << "fsb copies the link";
    EXPECT_EQ(fsReadLink(P("flcopy")), "target/f");
    EXPECT_TRUE(fsaFileCopyFd(P("fl"), P("fcopy")));
    EXPECT_EQ(fsbType(P("fcopy")), 'F') << "fsa copies what it leads to";
    EXPECT_EQ(get("fcopy"), "data");

    ASSERT_TRUE(fsMkSymLink(P("dangling"), "nowhere"));
    EXPECT_TRUE(fsbExist(P("dangling")) && !fsaExist(P("dangling")) && !fsaTime(P("dangling")));
    EXPECT_FALSE(fsMkSymLink(P("dangling"), "elsewhere")) << "already there";
    EXPECT_TRUE(fsRm(P("dangling")) && !has("dangling"));
}

} // namespace

// The open flags are put together from the platform's bits: each mode must
// keep, cut or extend the file as its letter says.
TEST_F(FsRawFd, OpenFlagsByMode) {
    struct Case {
        char const* mode;
        bool canWrite;
        char const* after; // the file's text after writing "xy" (when it may)
    };
    Case const cases[] = {
        {"r", false, "abc"},  {"rb", false, "abc"},  {"w", true, "xy"},  {"wb", true, "xy"},
        {"a", true, "abcxy"}, {"ab", true, "abcxy"}, {"t", true, "xyc"},
    };
    for (Case const& c : cases) {
        put("f.txt", "abc");
        int fd = fdOpenRaw(P("f.txt").c_str(), fdOpenFlags(c.mode));
        ASSERT_GE(fd, 0) << c.mode;
        EXPECT_EQ(fdWriteRaw(fd, "xy", 2) == 2, c.canWrite) << c.mode;
        EXPECT_EQ(fdCloseRaw(fd), 0) << c.mode;
        EXPECT_EQ(get("f.txt"), c.after) << c.mode;
    }
    // A mode that creates makes a missing file; reading does not.
    EXPECT_LT(fdOpenRaw(P("none").c_str(), fdOpenFlags("r")), 0);
    int fd = fdOpenRaw(P("new").c_str(), fdOpenFlags("t"));
    ASSERT_GE(fd, 0);
    fdCloseRaw(fd);
    EXPECT_TRUE(fsaIsFile(P("new")));
}

TEST_F(FsRawFd, CopiesReadAndWriteTheSameFile) {
    int fd = fdOpenRaw(P("d.txt").c_str(), fdOpenFlags("wb"));
    ASSERT_GE(fd, 0);
    int d = fdDupRaw(fd);
    ASSERT_GE(d, 0);
    EXPECT_NE(d, fd);
    EXPECT_EQ(fdWriteRaw(fd, "ab", 2), 2);
    EXPECT_EQ(fdWriteRaw(d, "cd", 2), 2) << "a copy shares the offset";
    EXPECT_GE(fdDup2Raw(fd, 61), 0); // the target on POSIX, 0 on Windows
    EXPECT_EQ(fdWriteRaw(61, "e", 1), 1);
    EXPECT_EQ(fdCloseRaw(61), 0);
    EXPECT_EQ(fdCloseRaw(d), 0);
    EXPECT_EQ(fdCloseRaw(fd), 0);
    EXPECT_LT(fdCloseRaw(fd), 0) << "closed twice";

    FILE* f = fdStreamRaw(fdOpenRaw(P("d.txt").c_str(), fdOpenFlags("rb")), "rb");
    ASSERT_TRUE(f);
    EXPECT_GE(fdOfStreamRaw(f), 0);
    char buf[8] = {};
    EXPECT_EQ(fdReadRaw(fdOfStreamRaw(f), buf, sizeof buf), 5);
    EXPECT_STREQ(buf, "abcde");
    EXPECT_EQ(fdReadRaw(fdOfStreamRaw(f), buf, sizeof buf), 0) << "end of file";
    fclose(f);

    int nul = fdOpenRaw(fdNullPath(), fdOpenFlags("w"));
    ASSERT_GE(nul, 0);
    EXPECT_EQ(fdWriteRaw(nul, "zz", 2), 2);
    fdCloseRaw(nul);
}
