#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "base/fs.h"
#include "base/timenum.h"
#include "scratch.h"
#include "build/fsstat.h"

namespace {

namespace sfs = std::filesystem;

constexpr long long kSec = 1000000000LL;
constexpr long long kOld = 1500000000LL * kSec + 123456700LL;

class FsStatTmp : public ScratchDirTest {
  protected:
    // A file with a given time (0: now).
    void put(char const* rel, std::string const& text, long long ns = 0) const {
        std::string p = dir + "/" + rel;
        sfs::create_directories(sfs::path(p).parent_path());
        FILE* f = fopen(p.c_str(), "wb");
        ASSERT_NE(f, nullptr) << rel;
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
        if (ns > 0) {
            ASSERT_TRUE(fsaTouch(p.c_str(), ns, 0));
        }
    }
};

// The types of a path and of what it names, then the size and the time (in
// seconds after kOld, "-" for none) of what it names.
std::string show(FsStat const& s) {
    return std::string(1, s.bType ? s.bType : '-') + (s.aType ? s.aType : '-') + " " +
           std::to_string(s.aSize) + " " +
           (s.aTime ? std::to_string((s.aTime - kOld) / kSec) : "-") + (s.isExe ? " exe" : "") +
           (s.isValid() ? "" : " invalid");
}

typedef FsStatTmp FsStatRead;
typedef FsStatTmp FsStatBags;
typedef FsStatTmp FsStatLmt;

TEST_F(FsStatRead, FileDirMissing) {
    put("f", "12345", kOld);
    sfs::create_directory(dir + "/d");
    FsStat st;
    EXPECT_TRUE(st.readStat(P("f")));
    EXPECT_EQ(show(st), "FF 5 0");
    EXPECT_TRUE(st.bSize == 5 && st.bTime == kOld);
    FsStat d;
    EXPECT_TRUE(d.readStat(P("d")));
    EXPECT_EQ(show(d).substr(0, 2), "DD");
    EXPECT_TRUE(d.fsaIsType('d') && !d.isExe);
    // A missing path clears whatever the record held.
    EXPECT_FALSE(st.readStat(P("missing")));
    EXPECT_EQ(show(st), "-- 0 - invalid");
    EXPECT_EQ(st.bSize + st.bTime, 0);
    EXPECT_FALSE(st.readStat(""));
}

TEST_F(FsStatRead, LinksAndDanglingLinks) {
    put("f", "abc", kOld);
    if (!fsMkSymLink(P("dl"), dir.c_str()) || !fsMkSymLink(P("fl"), P("f"))) {
        // Directory junctions are all Windows offers, and Wine makes none.
        GTEST_SKIP() << "file links cannot be made here";
    }
    FsStat st;
    EXPECT_TRUE(st.readStat(P("fl")));
    EXPECT_EQ(show(st), "LF 3 0");
    EXPECT_TRUE(st.fsbIsType('l') && st.fsaIsType('f') && st.isValid());
    EXPECT_TRUE(st.readStat(P("dl")));
    EXPECT_EQ(show(st).substr(0, 2), "LD");
    ASSERT_TRUE(fsMkSymLink(P("dangling"), P("nowhere")));
    EXPECT_FALSE(st.readStat(P("dangling")));
    EXPECT_GT(st.bTime, 0);
    EXPECT_EQ(show(st), "L- 0 - invalid");
}

TEST_F(FsStatBags, AddSetAndLatest) {
    put("a", "1", kOld);
    put("b", "2", kOld + 3 * kSec);
    FsStatBag bag;
    EXPECT_TRUE(bagFsStatAdd(bag, P("a")));
    ASSERT_TRUE(fsaTouch(P("a"), kOld + kSec, 0));
    EXPECT_FALSE(bagFsStatAdd(bag, P("a"))) << "second add of an existing file";
    EXPECT_EQ(bag.at(P("a")).aTime, kOld) << "... reads nothing";

    EXPECT_TRUE(bagFsStatAdd(bag, P("m")));
    EXPECT_EQ(bag.at(P("m")).bType, 0);
    put("m", "now there", kOld + 2 * kSec);
    EXPECT_FALSE(bagFsStatAdd(bag, P("m"))) << "had an entry";
    EXPECT_EQ(bag.at(P("m")).bType, 'F') << "a missing entry is read again";

    EXPECT_TRUE(bagFsStatSet(bag, P("a")));
    EXPECT_EQ(bag.at(P("a")).aTime, kOld + kSec);
    EXPECT_EQ(bag.size(), 2);
}

TEST_F(FsStatLmt, NewestInTree) {
    put("t/a", "1", kOld);
    put("t/sub/b", "2", kOld + 2 * kSec);
    put("t/sub/deeper/c", "3", kOld + 5 * kSec);
    put("t/.hidden/d", "4", kOld + 1 * kSec);
    put("single", "5", kOld + 7 * kSec);
    // Directories' own times never count.
    ASSERT_TRUE(fsaTouch(P("t/sub"), kOld + 100 * kSec, 0));
    ASSERT_TRUE(fsaTouch(P("t"), kOld + 100 * kSec, 0));

    EXPECT_EQ(lsLmt("RL", P("t/.")), kOld + 5 * kSec);
    EXPECT_EQ(lsLmt("", P("t")), kOld + 5 * kSec);
    EXPECT_EQ(lsLmt(".", P("t")), kOld) << "first level only";
    EXPECT_EQ(lsLmt("", P("t/sub/")), kOld + 5 * kSec) << "trailing separator";
    EXPECT_EQ(lsLmt("", P("t") + "|" + P("single")), kOld + 7 * kSec);
    EXPECT_EQ(lsLmt("", P("t") + "\n" + P("t") + "\r\n" + P("t/sub")), kOld + 5 * kSec);
    EXPECT_EQ(lsLmt("", P("missing")), 0);
    EXPECT_EQ(lsLmt("", ""), 0);
    EXPECT_EQ(lsLmt("", P("t"), 'D'), 0) << "directories never count";
    EXPECT_EQ(lsLmt("", P("t"), 'f'), kOld + 5 * kSec);
}

TEST_F(FsStatLmt, LinkedDirectories) {
    put("t/a", "1", kOld);
    put("other/new", "2", kOld + 9 * kSec);
    if (!fsMkSymLink(P("t/ln"), P("other")) || !fsMkSymLink(P("t/loop"), P("t"))) {
        GTEST_SKIP() << "links cannot be made here";
    }
    EXPECT_EQ(lsLmt("RL", P("t")), kOld) << "linked directories are not entered by default";
    EXPECT_EQ(lsLmt("RLS", P("t")), kOld + 9 * kSec) << "S enters them";
    EXPECT_EQ(lsLmt("S", P("t")), kOld + 9 * kSec) << "a link back into the tree ends";
    EXPECT_EQ(lsLmt("RL", P("t/ln")), kOld + 9 * kSec) << "a listed link is followed";
    // Without L a file link counts with its target's time, by its own type.
    if (fsMkSymLink(P("t/fl"), P("other/new"))) {
        EXPECT_EQ(lsLmt("", P("t"), 'L'), kOld + 9 * kSec);
        EXPECT_EQ(lsLmt("L", P("t"), 'L'), 0);
        EXPECT_EQ(lsLmt("L", P("t"), 'F'), kOld + 9 * kSec);
    }
}

} // namespace
