// A fresh directory per test under the system temp directory, made and removed
// with the standard library (never with the code under test).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/str.h"
#include "base/timenum.h"

class ScratchDirTest : public ::testing::Test {
  protected:
    std::string dir;

    void SetUp() override {
        static int counter = 0;
        std::error_code ec;
        std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        ASSERT_FALSE(ec);
        std::string name =
            std::string("vorn_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
            "_" + std::to_string(timeRealNs() % 1000000007LL) + "_" + std::to_string(++counter);
        std::filesystem::path d = base / name;
        ASSERT_TRUE(std::filesystem::create_directories(d, ec)) << ec.message();
        dir = d.generic_string();
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(std::filesystem::path(dir), ec);
    }

    CxStr1p P(char const* rel) const { return CxStr1p((dir + "/" + rel).c_str()); }
    // Files by their path in the directory, through the standard library.
    void put(char const* rel, std::string const& text) const {
        std::ofstream(dir + "/" + rel, std::ios::binary) << text;
    }
    std::string get(char const* rel) const {
        std::ifstream f(dir + "/" + rel, std::ios::binary);
        return f ? std::string(std::istreambuf_iterator<char>(f), {}) : "<missing>";
    }
    // Also true for a link that leads nowhere.
    bool has(char const* rel) const {
        std::error_code ec;
        return std::filesystem::exists(std::filesystem::symlink_status(dir + "/" + rel, ec));
    }
};

// The same, with the test working inside the directory; the previous working
// directory is restored afterwards.
class ScratchCwdTest : public ScratchDirTest {
  protected:
    std::filesystem::path cwd0;

    void SetUp() override {
        ScratchDirTest::SetUp();
        std::error_code ec;
        cwd0 = std::filesystem::current_path(ec);
        ASSERT_FALSE(ec);
        std::filesystem::current_path(dir, ec);
        ASSERT_FALSE(ec) << ec.message();
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::current_path(cwd0, ec);
        ScratchDirTest::TearDown();
    }
};
