#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/containers.h"

TEST(ContainersStr, ConstructionCopyAndZeroBytes) {
    // A text with a length stops at an inner zero byte; the first allocation is exact.
    EXPECT_EQ(CxStr1p("ab\0de", 5).len, 2);
    EXPECT_EQ(CxStr1p("abcde", 3), "abc");

    // Copying a string of length 5 whose third byte is zero keeps the first two bytes.
    CxStr1p five("abcde");
    five.at(2) = 0;
    EXPECT_EQ(five.len, 5);
    CxStr1p copy(five);
    EXPECT_EQ(copy.len, 2);
    // Self-assignment and assignment from one's own tail.
    CxStr1p s("self");
    CxStr1p& sr = s;
    s = sr;
    EXPECT_TRUE(s.setObj(s));
    EXPECT_STREQ(s.c_str(), "self");
    EXPECT_TRUE(s.setCstr(s.data + 2));
    EXPECT_EQ(std::string(s.c_str()) + std::to_string(s.len), "lf2");
}

TEST(ContainersStr, EditingOperations) {
    CxStr1p s("ab");
    EXPECT_TRUE(s.addVal(0));
    EXPECT_EQ(s.len, 2);
    s += s; // appending to itself doubles
    EXPECT_STREQ(s.c_str(), "abab");
    CxStr1p big;
    for (int i = 0; i < 200; ++i)
        big += 'k';
    EXPECT_TRUE(big.addObj(big)); // self-append across a reallocation
    EXPECT_EQ(std::string(big.c_str()), std::string(400, 'k'));
    EXPECT_TRUE(s.addCstr(s.data + 1, 2));
    EXPECT_STREQ(s.c_str(), "ababba");

    CxStr1p t("ace");
    EXPECT_TRUE(t.insAt(1, 'b') && t.insAt(3, "d") && t.insAt(5, CxStr1p("fg")) &&
                t.insAt(0, "__", 1));
    EXPECT_EQ(t, "_abcdefg");
    EXPECT_TRUE(t.insAt(2, t.data + 6, 2)); // inserting part of itself
    EXPECT_EQ(t, "_afgbcdefg");
    EXPECT_TRUE(t.delAt(0) && t.delSpan(1, 2));
    EXPECT_EQ(t, "abcdefg");
    EXPECT_TRUE(t.delSpan(5, 100)); // cut at the end
    EXPECT_EQ(t, "abcde");

    EXPECT_EQ("a" + CxStr1p("b") + 'c', "abc");
    EXPECT_EQ(CxStr1p("a") + '\0', "a");
}

TEST(ContainersStr, ComparisonOrder) {
    CxStr1p e;
    // A 3-byte string whose first byte is zero orders like the empty string but
    // is not equal to it.
    CxStr1p z("xyz");
    z.at(0) = 0;
    EXPECT_EQ(anyCmp(z, e), 0);
    EXPECT_FALSE(z < e || z > e || z == e);
    EXPECT_TRUE(z != e && e == CxStr1p(""));
    // Same length, different tail after an inner zero: equal up to the zero.
    CxStr1p p1("ab1"), p2("ab2");
    p1.at(1) = 0;
    p2.at(1) = 0;
    EXPECT_TRUE(p1 == p2);
}

// The word-at-a-time order of the ordered containers against the plain one,
// on names that share starts, end early, hold zero or high bytes.
TEST(ContainersStr, ContainerOrderMatchesComparison) {
    std::mt19937 rng(7);
    char const alphabet[] = {'a', 'b', '/', '0', '\x01', '\x7F', '\x80', '\xE9'};
    auto make = [&](std::string const& stem) {
        std::string s = stem.substr(0, rng() % (stem.size() + 1));
        for (int n = (int)(rng() % 12); n > 0; --n)
            s += alphabet[rng() % sizeof alphabet];
        CxStr1p c(s.data(), (long long)s.size());
        for (long long i = 0; i < c.len; ++i) // \x01 stands for a zero byte
            if (c.at(i) == '\x01') c.at(i) = 0;
        return c;
    };
    auto sign = [](int c) { return c < 0 ? -1 : (c > 0 ? 1 : 0); };
    for (int i = 0; i < 20000; ++i) {
        CxStr1p a = make("src/obj/"), b = make("src/obj/");
        ASSERT_EQ(sign(anyCmp(a, b)), sign(cmpCxStr1p(a, b)))
            << testing::PrintToString(std::string(a.c_str(), (size_t)a.len)) << " "
            << testing::PrintToString(std::string(b.c_str(), (size_t)b.len));
    }
}

// Adding an element of the array itself, across the growth of its block.
TEST(ContainersVect, AddOwnElement) {
    StrVect v;
    v.addVal("self");
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(v.addVal(v.at(0)));
    EXPECT_EQ(v.at(100), "self");
}

template <typename K, typename V> static std::vector<std::string> keysOf(AvlTree<K, V> const& t) {
    std::vector<std::string> out;
    for (auto it = t.begin(); it != t.end(); ++it)
        out.push_back(it->key.c_str());
    return out;
}

TEST(ContainersMap, IterationOrderAndDeepCopy) {
    StrMap m;
    for (char const* k : {"abc", "a", "B", "\xE9t\xE9", "", "ab", "Z", "_x", "0"})
        EXPECT_TRUE(m.addKV(k, CxStr1p("v_") + k));
    EXPECT_EQ(keysOf(m),
              (std::vector<std::string>{"", "\xE9t\xE9", "0", "B", "Z", "_x", "a", "ab", "abc"}));

    StrMap c(m);
    EXPECT_TRUE(c.checkTree());
    EXPECT_EQ(c.count, m.count);
    auto i = m.begin();
    for (auto j = c.begin(); j != c.end(); ++j, ++i) {
        EXPECT_EQ(j->key + "=" + j->val, i->key + "=" + i->val);
        EXPECT_NE(j.n, i.n);
    }
    c.at("ab") = "changed";
    EXPECT_TRUE(c.delAt("a"));
    EXPECT_TRUE(m.at("ab") == "v_ab" && m.hasIdx("a"));

    StrMap d;
    d.addKV("gone", "x");
    EXPECT_TRUE(d.copyFrom(m));
    EXPECT_FALSE(d.hasIdx("gone"));
    EXPECT_EQ(keysOf(d), keysOf(m));
    d = c;
    EXPECT_EQ(keysOf(d), keysOf(c));
    EXPECT_EQ(d.at("ab"), "changed");
}

// Reference order written independently: empty first, first byte signed, then
// unsigned bytes with a shorter prefix first.
struct RefLess {
    bool operator()(std::string const& a, std::string const& b) const {
        if (a.empty() || b.empty()) return a.empty() && !b.empty();
        if (a[0] != b[0]) return (signed char)a[0] < (signed char)b[0];
        return a < b;
    }
};

TEST(ContainersMap, RandomAgainstStdMap) {
    std::mt19937_64 rng(12345);
    std::vector<std::string> keys;
    std::map<std::string, long long, RefLess> ref;
    StrNumMap m;
    for (int i = 0; i < 20000; ++i) {
        std::string k;
        int n = 1 + int(rng() % 6);
        for (int j = 0; j < n; ++j) {
            int r = int(rng() % 8);
            // Mostly a small alphabet (many shared prefixes), some high bytes.
            k += r == 0 ? char(0x80 + rng() % 128) : char('a' + rng() % 4);
        }
        keys.push_back(k);
    }
    for (int batch = 0; batch < 20; ++batch) {
        for (int i = 0; i < 2000; ++i) {
            std::string const& k = keys[rng() % keys.size()];
            long long v = (long long)(rng() % 1000);
            bool replace = rng() % 2;
            bool isNew = ref.find(k) == ref.end();
            if (isNew || replace) ref[k] = v;
            ASSERT_TRUE(m.addKV(k.c_str(), v, replace));
        }
        for (int i = 0; i < 1000; ++i) {
            std::string const& k = keys[rng() % keys.size()];
            bool had = ref.erase(k) > 0;
            ASSERT_EQ(m.delAt(k.c_str()), had) << k;
        }
        ASSERT_TRUE(m.checkTree()) << "batch " << batch;
        ASSERT_EQ(m.count, (long long)ref.size());
        auto it = ref.begin();
        for (auto n = m.begin(); n != m.end(); ++n, ++it) {
            ASSERT_TRUE(it != ref.end());
            ASSERT_EQ(std::string(n->key.c_str()), it->first);
            ASSERT_EQ(n->val, it->second);
        }
        ASSERT_TRUE(it == ref.end());
    }
    for (std::string const& k : keys)
        ASSERT_EQ(m.hasIdx(k.c_str()), ref.count(k) > 0);

    // Empty the tree completely in random order.
    std::vector<std::string> left;
    for (auto& kv : ref)
        left.push_back(kv.first);
    std::shuffle(left.begin(), left.end(), rng);
    for (size_t i = 0; i < left.size(); ++i) {
        ASSERT_TRUE(m.delAt(left[i].c_str()));
        if (i % 500 == 0) {
            ASSERT_TRUE(m.checkTree());
        }
    }
    EXPECT_EQ(m.count, 0);
    EXPECT_EQ(m.root, nullptr);
}

// A view reads a text kept elsewhere: every change leaves that text alone and
// gives what the same change gives on an ordinary copy.
TEST(ContainersStr, ViewChangesCopyFirst) {
    struct Op {
        char const* name;
        std::function<bool(CxStr1p&)> run;
    } ops[] = {
        {"addCstr", [](CxStr1p& s) { return s.addCstr("XY"); }},
        {"addVal", [](CxStr1p& s) { return s.addVal('Z'); }},
        {"self append", [](CxStr1p& s) { return s.addCstr(s.data + 1, 3); }},
        {"insAt", [](CxStr1p& s) { return s.insAt(2, "--"); }},
        {"insAt own text", [](CxStr1p& s) { return s.insAt(0, s.data + 4, 2); }},
        {"delSpan", [](CxStr1p& s) { return s.delSpan(1, 2); }},
        {"at", [](CxStr1p& s) { return (s.at(5) = 'R') == 'R'; }},
        {"setCstr own tail", [](CxStr1p& s) { return s.setCstr(s.data + 3); }},
        {"forceLen", [](CxStr1p& s) { return s.forceLen(2), true; }},
        {"clear", [](CxStr1p& s) { return s.clear(), true; }},
        {"reserve small", [](CxStr1p& s) { return s.reserve(2); }},
        {"reserve large", [](CxStr1p& s) { return s.reserve(100); }},
        {"setMove",
         [](CxStr1p& s) {
             CxStr1p o("moved");
             return s.setMove(o);
         }},
    };
    char kept[] = "abcdef";
    for (Op const& op : ops) {
        CxStr1p view, own("abcdef");
        view.setView(kept, 6);
        ASSERT_TRUE(view.isView());
        EXPECT_TRUE(view.isValid());
        EXPECT_EQ(op.run(view), op.run(own)) << op.name;
        EXPECT_EQ(std::string(view.c_str(), (size_t)view.length()),
                  std::string(own.c_str(), (size_t)own.length()))
            << op.name;
        EXPECT_TRUE(view.isValid() && !strcmp(kept, "abcdef")) << op.name;
    }
    // Reading keeps the view; a copy is a string of its own; a move hands the
    // view on.
    CxStr1p view;
    view.setView(kept + 3, 3); // a view's text ends in a zero
    EXPECT_EQ(view, "def");
    long long at = -1;
    EXPECT_TRUE(view.getAt(1) == 'e' && view.findIndex(at, 'f') && at == 2 && view.isView());
    CxStr1p copy(view);
    EXPECT_TRUE(!copy.isView() && copy == "def");
    CxStr1p moved(std::move(view));
    EXPECT_TRUE(moved.isView());
    EXPECT_EQ((void const*)moved.data, (void const*)(kept + 3));
    view.setView(kept, 0);
    EXPECT_FALSE(view.isView()) << "an empty view is an empty string";
}

// Texts stay where they were put, in order, aligned when asked; a long text
// gets its own block and the current block goes on.
TEST(ContainersTextStore, KeepsTextsInPlace) {
    TextStore store;
    std::vector<std::pair<char const*, std::string>> kept;
    std::mt19937 rng(7);
    char* lastQ = nullptr;
    long long lastN = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string t(1 + rng() % 40, char('a' + i % 26));
        char const* p = store.add(t.data(), (long long)t.size(), i % 3 ? 0 : '\n');
        ASSERT_NE(p, nullptr);
        kept.emplace_back(p, i % 3 ? t : t + "\n");
        lastN = 1 + rng() % 50;
        lastQ = store.place(lastN, 8);
        ASSERT_NE(lastQ, nullptr);
        EXPECT_EQ((size_t)lastQ % 8, 0u);
        memset(lastQ, 0xee, lastN);
    }
    std::string big(600000, 'x');
    char const* b = store.add(big.data(), (long long)big.size());
    char const* after = store.add("tail", 4);
    ASSERT_TRUE(b && after);
    EXPECT_EQ(std::string(b), big);
    EXPECT_EQ(after, lastQ + lastN) << "the block in use goes on after a long text";
    for (auto const& k : kept)
        ASSERT_EQ(std::string(k.first), k.second);
}
