#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/containers.h"

static long long const kMax = 0x7FFFFFFFFFFFFFFFLL;

TEST(ContainersStr, ConstructionCopyAndZeroBytes) {
    CxStr1p e1, e2((char const*)nullptr), e3(""), e4('\0');
    for (CxStr1p* p : {&e1, &e2, &e3, &e4}) {
        EXPECT_EQ(p->len, 0);
        EXPECT_EQ(p->data, nullptr);
        EXPECT_EQ(p->cap, 0);
        EXPECT_STREQ(p->c_str(), "");
        EXPECT_TRUE(p->isValid());
        EXPECT_EQ(p->countFree(), 0);
    }
    CxStr1p c('x');
    EXPECT_EQ(c.len, 1);
    EXPECT_STREQ(c.c_str(), "x");

    // A text with a length stops at an inner zero byte; the first allocation is exact.
    CxStr1p t("ab\0de", 5);
    EXPECT_EQ(t.len, 2);
    EXPECT_EQ(t.cap, 3);
    EXPECT_EQ(t.countFree(), 0);
    CxStr1p u("abcde", 3);
    EXPECT_STREQ(u.c_str(), "abc");

    // Copying a string of length 5 whose third byte is zero keeps the first two bytes.
    CxStr1p five("abcde");
    five.at(2) = 0;
    EXPECT_EQ(five.len, 5);
    CxStr1p copy(five);
    EXPECT_EQ(copy.len, 2);
    EXPECT_STREQ(copy.c_str(), "ab");
    CxStr1p assigned("zzzzzzzz");
    assigned = five;
    EXPECT_EQ(assigned.len, 2);
    EXPECT_TRUE(assigned.setCstr("hello", 4));
    EXPECT_STREQ(assigned.c_str(), "hell");

    // Self-assignment and assignment from one's own tail.
    CxStr1p s("self");
    CxStr1p& sr = s;
    s = sr;
    EXPECT_TRUE(s.setObj(s));
    EXPECT_STREQ(s.c_str(), "self");
    EXPECT_TRUE(s.setCstr(s.data + 2));
    EXPECT_STREQ(s.c_str(), "lf");
    EXPECT_EQ(s.len, 2);

    // Move and swap hand over the buffer.
    CxStr1p a("first");
    char* buf = a.data;
    CxStr1p b(std::move(a));
    EXPECT_EQ(b.data, buf);
    EXPECT_EQ(a.data, nullptr);
    EXPECT_EQ(a.len, 0);
    CxStr1p m;
    EXPECT_TRUE(m.setMove(b));
    EXPECT_EQ(m.data, buf);
    EXPECT_EQ(b.len, 0);
    CxStr1p o("other");
    m.swap(o);
    EXPECT_STREQ(m.c_str(), "other");
    EXPECT_STREQ(o.c_str(), "first");
    m = 'q';
    EXPECT_STREQ(m.c_str(), "q");
    EXPECT_TRUE(m.setChar(0));
    EXPECT_EQ(m.len, 0);
    o.destroy();
    EXPECT_EQ(o.data, nullptr);
    EXPECT_EQ(o.cap, 0);
    EXPECT_TRUE(o.reserve(40));
    EXPECT_GE(o.cap, 40);
    EXPECT_EQ(o.len, 0);
    EXPECT_STREQ(o.c_str(), "");
}

TEST(ContainersStr, GrowthRule) {
    EXPECT_EQ(calcGrowStrCx(0, 10, 256, kMax), 10);   // first allocation exact
    EXPECT_EQ(calcGrowStrCx(1, 5, 256, kMax), 256);   // 5 + 2 = 7 -> one granule
    EXPECT_EQ(calcGrowStrCx(1, 257, 256, kMax), 512); // 385 -> 512
    EXPECT_EQ(calcGrowStrCx(1, 171, 256, kMax), 512); // 256 is a multiple: one more granule
    EXPECT_EQ(calcGrowStrCx(1, 170, 256, kMax), 256); // 255
    EXPECT_EQ(calcGrowStrCx(1, 0, 256, kMax), 0);
    EXPECT_EQ(calcGrowStrCx(0, -3, 256, kMax), 0);
    EXPECT_EQ(calcGrowStrCx(1, kMax, 256, kMax), 0);
    EXPECT_EQ(calcGrowStrCx(1, 10, 1, kMax), 15);
    EXPECT_EQ(calcGrowStrCx(1, 10, 0, 14), 10);      // grown beyond the maximum
    EXPECT_EQ(calcGrowStrCx(1, 100, 256, 200), 100); // 256 is beyond the maximum
    // Sizes near the top must not overflow (the sanitizer build checks this).
    EXPECT_EQ(calcGrowStrCx(1, kMax - 1, 256, kMax), kMax - 1);
    EXPECT_EQ(calcGrowStrCx(1, kMax - 1, 1, kMax), kMax - 1);
    EXPECT_EQ(calcGrowStrCx(1, kMax / 3 * 2 + 10, 1, kMax), kMax / 3 * 2 + 10);

    EXPECT_EQ(calcGrowVectTp(0, 1, 24), 1);
    EXPECT_EQ(calcGrowVectTp(1, 2, 24), 1024);
    EXPECT_EQ(calcGrowVectTp(1, 2000, 8), 3072);
    EXPECT_EQ(calcGrowVectTp(0, 0x555555555555555LL, 24), 0);
    EXPECT_EQ(calcGrowVectTp(0, 0x555555555555554LL, 24), 0x555555555555554LL);
    EXPECT_EQ(calcGrowVectTp(1, 0x111111111111110LL, 120), 0x111111111111110LL);
    EXPECT_EQ(calcGrowVectTp(1, 0x333333333333333LL, 40), 0);
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
    EXPECT_EQ(big.len, 400);
    EXPECT_EQ(big.getAt(399), 'k');
    EXPECT_TRUE(s.addCstr(s.data + 1, 2));
    EXPECT_STREQ(s.c_str(), "ababba");

    CxStr1p t("ace");
    EXPECT_TRUE(t.insAt(1, 'b'));
    EXPECT_TRUE(t.insAt(3, "d"));
    EXPECT_TRUE(t.insAt(5, CxStr1p("fg")));
    EXPECT_TRUE(t.insAt(0, "__", 1));
    EXPECT_STREQ(t.c_str(), "_abcdefg");
    EXPECT_FALSE(t.insAt(9, "x"));
    EXPECT_FALSE(t.insAt(-1, 'x'));
    EXPECT_FALSE(t.insAt(99, '\0'));
    EXPECT_TRUE(t.insAt(2, t.data + 6, 2)); // inserting part of itself
    EXPECT_STREQ(t.c_str(), "_afgbcdefg");
    EXPECT_EQ(t.len, 10);

    EXPECT_TRUE(t.delAt(0));
    EXPECT_TRUE(t.delSpan(1, 2));
    EXPECT_STREQ(t.c_str(), "abcdefg");
    EXPECT_TRUE(t.delSpan(5, 100)); // cut at the end
    EXPECT_STREQ(t.c_str(), "abcde");
    EXPECT_FALSE(t.delSpan(5, 1));
    EXPECT_FALSE(t.delSpan(0, 0));
    EXPECT_FALSE(t.delAt(-1));
    EXPECT_EQ(t.len, 5);

    CxStr1p d("a,b,,c,");
    EXPECT_TRUE(d.delEachChar(','));
    EXPECT_STREQ(d.c_str(), "abc");
    EXPECT_EQ(d.len, 3);

    CxStr1p f("abcdef");
    f.forceLen(3);
    EXPECT_STREQ(f.c_str(), "abc");
    f.forceLen(100); // clamped to capacity - 1
    EXPECT_EQ(f.len, f.cap - 1);
    EXPECT_EQ(f.data[f.len], 0);
    f.forceLen(-4);
    EXPECT_EQ(f.len, 0);
    CxStr1p nobuf;
    nobuf.forceLen(5);
    EXPECT_EQ(nobuf.len, 0);
    EXPECT_TRUE(f.reserve(64));
    memcpy(f.data, "written\0junk", 12);
    f.forceValidLen();
    EXPECT_EQ(f.len, 7);
    f.forceValidLen(3);
    EXPECT_STREQ(f.c_str(), "wri");
    EXPECT_EQ(f.len, 3);

    CxStr1p g("x=y=z");
    long long idx = 0;
    EXPECT_TRUE(g.findIndex(idx, '='));
    EXPECT_EQ(idx, 1);
    EXPECT_TRUE(g.findIndex(idx, '=', 2));
    EXPECT_EQ(idx, 3);
    EXPECT_FALSE(g.findIndex(idx, '=', 4));
    EXPECT_FALSE(g.findIndex(idx, 'x', 10));
    EXPECT_TRUE(g.hasVal('z'));
    EXPECT_FALSE(g.hasVal('q'));

    EXPECT_EQ("a" + CxStr1p("b") + 'c', "abc");
    EXPECT_EQ(CxStr1p("a") + '\0', "a");
}

TEST(ContainersStr, ComparisonOrder) {
    CxStr1p e, b("B"), a("a"), ab("ab"), abc("abc"), A("A"), hi("\xE9t\xE9");
    EXPECT_LT(b, a); // upper case before lower case
    EXPECT_LT(e, a);
    EXPECT_LT(e, hi);
    EXPECT_LT(ab, abc);
    EXPECT_GT(abc, ab);
    EXPECT_LT(hi, A); // first byte compared signed
    EXPECT_EQ(anyCmp(hi, A), -1);
    EXPECT_EQ(anyCmp(A, hi), 1);
    // After the first byte the comparison is unsigned.
    EXPECT_LT(CxStr1p("a\x7F"), CxStr1p("a\x80"));
    EXPECT_LT(CxStr1p("\xE9"
                      "a"),
              CxStr1p("\xE9\xFF"));
    EXPECT_EQ(anyCmp(ab, CxStr1p("ab")), 0);
    EXPECT_EQ(anyCmp(e, CxStr1p("")), 0);

    // A 3-byte string whose first byte is zero orders like the empty string but
    // is not equal to it.
    CxStr1p z("xyz");
    z.at(0) = 0;
    EXPECT_EQ(anyCmp(z, e), 0);
    EXPECT_FALSE(z < e);
    EXPECT_FALSE(z > e);
    EXPECT_FALSE(z == e);
    EXPECT_TRUE(z != e);
    EXPECT_TRUE(e == CxStr1p(""));
    CxStr1p withBuf("q");
    withBuf.forceLen(0);
    EXPECT_TRUE(withBuf == e);
    // Same length, different tail after an inner zero: equal up to the zero.
    CxStr1p p1("ab1"), p2("ab2");
    p1.at(1) = 0;
    p2.at(1) = 0;
    EXPECT_TRUE(p1 == p2);

    // Texts and chars compare like the strings they convert to.
    EXPECT_TRUE(ab < "abc" && "abc" > ab && ab != "abc");
    EXPECT_FALSE(z == "");
    EXPECT_TRUE(e == '\0' && ab != 'a');
    EXPECT_TRUE(hi < 'A' && 'A' > hi);
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

TEST(ContainersStr, OutOfRangeAccess) {
    CxStr1p s("abc");
    char& r = s.at(5);
    EXPECT_EQ(r, 0);
    r = 'Z';
    EXPECT_STREQ(s.c_str(), "abc");
    EXPECT_EQ(s.len, 3);
    EXPECT_EQ(s.at(-1), 0); // the scratch byte is reset each time
    EXPECT_EQ(s.at(3), 0);
    s.at(1) = 'B';
    EXPECT_STREQ(s.c_str(), "aBc");
    EXPECT_EQ(s.getAt(3), 0);
    EXPECT_EQ(s.getAt(2), 'c');
    char c = 'x';
    EXPECT_FALSE(s.getAt(7, c));
    EXPECT_EQ(c, 0);
    EXPECT_TRUE(s.getAt(0, c));
    EXPECT_EQ(c, 'a');
    EXPECT_FALSE(s.setAt(3, 'd'));
    EXPECT_TRUE(s.setAt(2, 'C'));
    EXPECT_STREQ(s.c_str(), "aBC");
    EXPECT_EQ(s.last(), 'C');
    CxStr1p e;
    EXPECT_EQ(e.at(0), 0);
    EXPECT_EQ(e.last(), 0);

    Vect1p_Vobj<CxStr1p> v;
    v.addVal("only");
    v.at(3) = "dirty";
    EXPECT_EQ(v.at(3), ""); // the spare is reset before it is handed out
    EXPECT_EQ(v.at(-1), "");
    EXPECT_EQ(v.count, 1);

    Map_Kobj2Vobj<CxStr1p, CxStr1p> m;
    m.addKV("k", "v");
    m.at("missing") = "dirty";
    EXPECT_EQ(m.at("missing"), "");
    EXPECT_FALSE(m.hasIdx("missing"));
    EXPECT_EQ(m.count, 1);
    EXPECT_EQ(m.find("missing"), nullptr);
    ASSERT_NE(m.find("k"), nullptr);
    EXPECT_EQ(*m.find("k"), "v");
}

TEST(ContainersVect, AddRemoveCopy) {
    Vect1p_Vobj<CxStr1p> v;
    for (int i = 0; i < 10; ++i) {
        char b[2] = {char('a' + i), 0};
        ASSERT_TRUE(v.addVal(b));
    }
    EXPECT_TRUE(v.addVal(v.at(0))); // an element of itself
    EXPECT_EQ(v.lastVal(), "a");
    EXPECT_TRUE(v.delSpan(2, 3));
    EXPECT_EQ(v.count, 8);
    EXPECT_EQ(v.at(2), "f");
    EXPECT_TRUE(v.delSpan(6, 50));
    EXPECT_EQ(v.count, 6);
    EXPECT_FALSE(v.delSpan(6, 1));
    EXPECT_TRUE(v.delAt(0));
    EXPECT_TRUE(v.delLast());
    std::string joined;
    for (CxStr1p const& s : v)
        joined += s.c_str();
    EXPECT_EQ(joined, "bfgh");

    Vect1p_Vobj<CxStr1p> w(v);
    EXPECT_EQ(w.count, 4);
    EXPECT_NE(w.at(0).data, v.at(0).data); // deep copy
    w.at(0) = "changed";
    EXPECT_EQ(v.at(0), "b");
    Vect1p_Vobj<CxStr1p> x(std::move(w));
    EXPECT_EQ(w.count, 0);
    EXPECT_EQ(x.count, 4);
    EXPECT_EQ(x.at(0), "changed");
    x = v;
    EXPECT_EQ(x.at(0), "b");
    x.clear();
    EXPECT_EQ(x.count, 0);
    EXPECT_TRUE(x.isEmpty());
    EXPECT_TRUE(x.addVal("again"));
    EXPECT_EQ(x.at(0), "again");

    // Adding an element of itself while the block is reallocated.
    Vect1p_Vobj<CxStr1p> y;
    y.addVal("self");
    EXPECT_TRUE(y.addVal(y.at(0)));
    EXPECT_EQ(y.at(1), "self");
}

template <typename K, typename V> static std::vector<std::string> keysOf(AvlTree<K, V> const& t) {
    std::vector<std::string> out;
    for (auto it = t.begin(); it != t.end(); ++it)
        out.push_back(it->key.c_str());
    return out;
}

TEST(ContainersMap, InsertReplaceDelete) {
    Map_Kobj2Vobj<CxStr1p, CxStr1p> m;
    EXPECT_TRUE(m.addKV("k", "old"));
    EXPECT_TRUE(m.addKV("k", "new"));
    EXPECT_EQ(m.at("k"), "old");
    EXPECT_EQ(m.count, 1);
    EXPECT_TRUE(m.addKV("k", "new", true));
    EXPECT_EQ(m.at("k"), "new");
    EXPECT_EQ(m.count, 1);
    EXPECT_TRUE(m.setKV("k", "set"));
    EXPECT_EQ(m.at("k"), "set");

    // Build   d
    //       b   f
    //      a c e g   and delete nodes with two children.
    Map_Kobj2Vobj<CxStr1p, int> t;
    for (char const* k : {"d", "b", "f", "a", "c", "e", "g"})
        t.addKV(k, k[0]);
    EXPECT_EQ(t.root->height, 3);
    EXPECT_TRUE(t.delAt("d")); // the root: successor e takes its place
    EXPECT_TRUE(t.checkTree());
    EXPECT_EQ(t.root->key, "e");
    EXPECT_TRUE(t.delAt("b")); // successor c is b's direct right child
    EXPECT_TRUE(t.checkTree());
    EXPECT_EQ(keysOf(t), (std::vector<std::string>{"a", "c", "e", "f", "g"}));
    EXPECT_EQ(t.at("f"), 'f');
    EXPECT_FALSE(t.delAt("d"));
    EXPECT_EQ(t.count, 5);
    EXPECT_TRUE(t.hasIdx("g"));
    t.clear();
    EXPECT_EQ(t.count, 0);
    EXPECT_EQ(t.root, nullptr);
    EXPECT_TRUE(t.addKV("again", 1));

    // Ascending insertions stay balanced by rotations.
    Set_Kobj<long long> s;
    for (long long i = 0; i < 1023; ++i)
        ASSERT_TRUE(s.addK(i));
    EXPECT_TRUE(s.checkTree());
    EXPECT_EQ(s.root->height, 10);
    EXPECT_TRUE(s.addK(5)); // already there: left alone
    EXPECT_EQ(s.count, 1023);
    for (long long i = 0; i < 1023; i += 2)
        EXPECT_TRUE(s.delAt(i));
    EXPECT_TRUE(s.checkTree());
    EXPECT_EQ(s.count, 511);
    EXPECT_FALSE(s.hasIdx(4));
    EXPECT_TRUE(s.hasIdx(5));
}

TEST(ContainersMap, IterationOrderAndDeepCopy) {
    Map_Kobj2Vobj<CxStr1p, CxStr1p> m;
    for (char const* k : {"abc", "a", "B", "\xE9t\xE9", "", "ab", "Z", "_x", "0"})
        EXPECT_TRUE(m.addKV(k, CxStr1p("v_") + k));
    EXPECT_EQ(keysOf(m),
              (std::vector<std::string>{"", "\xE9t\xE9", "0", "B", "Z", "_x", "a", "ab", "abc"}));

    Map_Kobj2Vobj<CxStr1p, CxStr1p> c(m);
    EXPECT_EQ(c.count, m.count);
    EXPECT_TRUE(c.checkTree());
    EXPECT_EQ(c.root->height, m.root->height);
    EXPECT_EQ(c.root->key, m.root->key);
    auto i = m.begin();
    for (auto j = c.begin(); j != c.end(); ++j, ++i) {
        EXPECT_EQ(j->key, i->key);
        EXPECT_EQ(j->val, i->val);
        EXPECT_NE(j.n, i.n);
        EXPECT_EQ(j->height, i->height);
    }
    c.at("ab") = "changed";
    EXPECT_EQ(m.at("ab"), "v_ab");
    EXPECT_TRUE(c.delAt("a"));
    EXPECT_TRUE(m.hasIdx("a"));

    Map_Kobj2Vobj<CxStr1p, CxStr1p> d;
    d.addKV("gone", "x");
    EXPECT_TRUE(d.copyFrom(m));
    EXPECT_FALSE(d.hasIdx("gone"));
    EXPECT_EQ(keysOf(d), keysOf(m));
    d = c;
    EXPECT_EQ(d.count, c.count);
    EXPECT_EQ(d.at("ab"), "changed");

    // Nested containers, as the dependency maps use them.
    Map_Kobj2Vobj<CxStr1p, Set_Kobj<CxStr1p>> deps;
    deps.at("unused");
    Set_Kobj<CxStr1p> one;
    one.addK("x.c");
    one.addK("x.h");
    EXPECT_TRUE(deps.addKV("x.o", one));
    Map_Kobj2Vobj<CxStr1p, Set_Kobj<CxStr1p>> deps2(deps);
    EXPECT_EQ(deps2.at("x.o").count, 2);
    EXPECT_TRUE(deps2.at("x.o").hasIdx("x.h"));
    EXPECT_TRUE(deps2.at("x.o").delAt("x.h"));
    EXPECT_TRUE(deps.at("x.o").hasIdx("x.h"));
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
    Map_Kobj2Vobj<CxStr1p, long long> m;
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
        {"delEachChar", [](CxStr1p& s) { return s.delEachChar('c'); }},
        {"setAt", [](CxStr1p& s) { return s.setAt(0, 'Q'); }},
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
        EXPECT_EQ(view.countFree(), 0);
        EXPECT_EQ(op.run(view), op.run(own)) << op.name;
        EXPECT_STREQ(view.c_str(), own.c_str()) << op.name;
        EXPECT_EQ(view.length(), own.length()) << op.name;
        EXPECT_STREQ(kept, "abcdef") << op.name;
        EXPECT_TRUE(view.isValid()) << op.name;
    }
    // Reading keeps the view; a copy is a string of its own; a move hands the
    // view on.
    CxStr1p view;
    view.setView(kept + 3, 3); // a view's text ends in a zero
    EXPECT_EQ(view, "def");
    EXPECT_EQ(view.getAt(1), 'e');
    long long at = -1;
    EXPECT_TRUE(view.findIndex(at, 'f') && at == 2);
    EXPECT_TRUE(view.isView());
    CxStr1p copy(view);
    EXPECT_FALSE(copy.isView());
    EXPECT_EQ(copy, "def");
    CxStr1p moved(std::move(view));
    EXPECT_TRUE(moved.isView());
    EXPECT_EQ((void const*)moved.data, (void const*)(kept + 3));
    view.setView(kept, 0);
    EXPECT_FALSE(view.isView()) << "an empty view is an empty string";
}

// An array viewing room it does not own: changes in place, growth to a block
// of its own, and no release of the room.
TEST(ContainersVect, ViewGrowsIntoOwnBlock) {
    alignas(8) unsigned char room[3 * sizeof(CxStr1p)];
    CxStr1p* slots = (CxStr1p*)room;
    char const* names[] = {"one", "two", "three"};
    for (int i = 0; i < 3; ++i) {
        new (&slots[i]) CxStr1p();
        slots[i].setView(names[i], (long long)strlen(names[i]));
    }
    {
        Vect1p_Vobj<CxStr1p> v;
        v.data = slots;
        v.count = 3;
        EXPECT_EQ(v.at(1), "two");
        EXPECT_TRUE(v.delAt(0));
        EXPECT_EQ(v.at(0), "two");
        EXPECT_TRUE(v.addVal("four"));
        EXPECT_GT(v.cap, 0);
        EXPECT_NE((void*)v.data, (void*)room);
        std::string all;
        for (CxStr1p const& s : v)
            all += std::string(s.c_str()) + " ";
        EXPECT_EQ(all, "two three four ");
    }
    {
        Vect1p_Vobj<CxStr1p> v; // a view dropped without growing
        v.data = slots;
        v.count = 1;
        EXPECT_TRUE(v.reserve(0));
        v.destroy();
        EXPECT_EQ(v.data, nullptr);
    }
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
