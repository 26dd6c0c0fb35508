#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/fs.h"
#include "base/textedit.h"
#include "base/tokens.h"
#include "printers.h"
#include "rules/envmap.h"
#include "scratch.h"

namespace {

// Saves the whole process environment and puts it back afterwards, so tests
// that clear it leave the rest of the run untouched.
class EnvRestore {
    std::vector<std::string> saved;

  public:
    EnvRestore() {
        for (char** e = envBlock(); e && *e; ++e)
            saved.push_back(*e);
    }
    ~EnvRestore() {
        CxStr1p names = envVarsListNames(' ');
        long long pos = 0;
        CxStr1p n;
        while (strToken(n, pos, names, " "))
            envVarUnset(n);
        for (auto const& s : saved) {
            size_t eq = s.find('=');
            if (eq != std::string::npos && eq > 0)
                envVarRawSet(s.substr(0, eq).c_str(), s.substr(eq + 1).c_str());
        }
    }
};

} // namespace

TEST(EnvMapLookup, StoreEnvironmentFallThroughAndCaching) {
    EnvMap m;
    envVarUnset("VORNT_A");
    // Undefined: empty, true, nothing stored.
    CxStr1p out("x");
    EXPECT_TRUE(m.varGet("VORNT_A", out) && out.isEmpty() && m.size() == 0);

    // Found in the environment: kept in the store, later changes not seen.
    ASSERT_TRUE(envVarSetExport("VORNT_A", "env1"));
    EXPECT_EQ(m.varGet("VORNT_A"), "env1");
    envVarSetExport("VORNT_A", "env2");
    EXPECT_TRUE(m.hasIdx("VORNT_A") && m.varGet("VORNT_A") == "env1");

    // Empty name: reads empty, setters refuse.
    EXPECT_TRUE(m.varGet("", out));
    EXPECT_FALSE(m.varSet("", "v") || m.varSetExport("", "v") || m.varUnset(""));

    // Unset removes from both places.
    EXPECT_TRUE(m.varUnset("VORNT_A"));
    EXPECT_FALSE(m.hasIdx("VORNT_A") || envVarGetSet("VORNT_A", out));
    EXPECT_EQ(m.varGet("VORNT_A"), "");
}

TEST_F(ScratchDirTest, EnvMapCwdIsAlwaysLive) {
    CxStr1p orig = fsCwd();
    EnvMap m;
    m.varSet("CWD", "/stale");
    ASSERT_TRUE(fsCd(dir.c_str()));
    CxStr1p cwd = m.varGet("CWD");
    fsCd(orig);
    EXPECT_TRUE(strHasEnd(cwd, CxStr1p(dir.substr(dir.rfind('/')).c_str())) && !cwd.hasVal('\\'))
        << cwd.c_str();
    VarOverlay ov;
    ov.setKV("CWD", "/ov");
    EXPECT_EQ(envMap2VarGet(ov, m, "CWD"), orig);
}

TEST(EnvMapExport, ExportAndVerify) {
    EnvMap m;
    // varNameExport takes the stored value only.
    m.varSet("VORNT_Y", "yy");
    EXPECT_TRUE(m.varNameExport("VORNT_Y"));
    EXPECT_EQ(envVarGet("VORNT_Y"), "yy");
    EXPECT_FALSE(m.varNameExport("VORNT_NOT_STORED"));
    // An empty export removes the name on both platforms.
    EXPECT_TRUE(envVarSetExport("VORNT_Y", ""));
    CxStr1p out;
    EXPECT_FALSE(envVarGetSet("VORNT_Y", out));
    EXPECT_FALSE(envVarSetExport("A=B", "c"));
    envVarUnset("VORNT_Y");
}

TEST(EnvMapStore, SetObjDeepCopiesAndOverlayComesFirst) {
    EnvMap a, b;
    a.varSet("K1", "v1");
    a.varSet("K2", "v2");
    b.varSet("OLD", "x");
    EXPECT_TRUE(b.setObj(a));
    a.varSet("K1", "changed");
    EXPECT_TRUE(b.size() == 2 && !b.hasIdx("OLD") && b.varGet("K1") == "v1");

    VarOverlay ov;
    ov.setKV("K2", "ov2");
    EXPECT_EQ(envMap2VarGet(ov, b, "K2") + envMap2VarGet(ov, b, "K1"), "ov2v1");
}

TEST(EnvMapEnviron, ClearExceptKeepListRules) {
    EnvRestore restore;
    EXPECT_TRUE(strHasStart(envVarsKeepDefaults(), " ALLUSERSPROFILE APPDATA"));
    EXPECT_TRUE(envVarsSetUserKeep(" ABCD VORN "));
    EXPECT_TRUE(strHasEnd(envVarsKeepDefaults(), "USER* ABCD VORN  "));
    EXPECT_FALSE(envVarsSetUserKeep(CxStr1p(std::string(2048, 'x').c_str())));
    EXPECT_TRUE(strHas(envVarsKeepDefaults(), " ABCD VORN "));

    for (char const* n : {"HOMEDRIVE", "homedir", "tmp", "TMPDIR", "ABCD", "PATH", "VORNT_GONE"})
        envVarSetExport(n, "1");
    EXPECT_TRUE(envVarsClearExcept("MYKEEP*", ""));
    CxStr1p out;
    for (char const* n : {"HOMEDRIVE", "homedir", "tmp", "ABCD", "PATH"})
        EXPECT_TRUE(envVarGetSet(n, out)) << n;
    for (char const* n : {"TMPDIR", "VORNT_GONE"})
        EXPECT_FALSE(envVarGetSet(n, out)) << n;

    envVarSetExport("MYKEEP_1", "1");
    EXPECT_TRUE(envVarsClearExcept("--reset PATH", ""));
    EXPECT_EQ(envVarsListNames(' '), " PATH ");
    envVarsSetUserKeep("");
}
