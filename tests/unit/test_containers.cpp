#include <gtest/gtest.h>

#include "base/containers.h"

TEST(Smoke, Build) {
    Map_Kobj2Vobj<CxStr1p, CxStr1p> m;
    EXPECT_TRUE(m.addKV("b", "2"));
    EXPECT_TRUE(m.addKV("a", "1"));
    EXPECT_EQ(m.at("a"), "1");
}
