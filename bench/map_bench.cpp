// Ordered string map against std::map on the same one million random keys:
// insertion, lookup and in-order walk. Keys look like goal and file names
// (8 to 32 bytes, letters, digits, '/', '.', '_').
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/containers.h"

namespace {

long long const kKeys = 1000000;

struct Data {
    std::vector<std::string> keys, vals; // insertion order
    std::vector<std::string> probe;      // same keys, other order
    StrVect cxKeys, cxVals, cxProbe;     // the same bytes as our strings

    Data() {
        static char const alphabet[] = "abcdefghijklmnopqrstuvwxyz"
                                       "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._";
        std::mt19937_64 rng(20240601);
        std::map<std::string, int> seen; // keys must be unique
        while ((long long)keys.size() < kKeys) {
            std::string k;
            int n = 8 + int(rng() % 25);
            for (int i = 0; i < n; ++i)
                k += alphabet[rng() % (sizeof alphabet - 1)];
            if (!seen.emplace(k, 0).second) continue;
            keys.push_back(k);
            std::string v;
            int m = 4 + int(rng() % 20);
            for (int i = 0; i < m; ++i)
                v += alphabet[rng() % (sizeof alphabet - 1)];
            vals.push_back(v);
        }
        probe = keys;
        std::shuffle(probe.begin(), probe.end(), rng);
        cxKeys.reserve(kKeys);
        cxVals.reserve(kKeys);
        cxProbe.reserve(kKeys);
        for (long long i = 0; i < kKeys; ++i) {
            cxKeys.addVal(CxStr1p(keys[i].data(), (long long)keys[i].size()));
            cxVals.addVal(CxStr1p(vals[i].data(), (long long)vals[i].size()));
            cxProbe.addVal(CxStr1p(probe[i].data(), (long long)probe[i].size()));
        }
    }
};

Data& data() {
    static Data d;
    return d;
}

typedef StrMap OurMap;
typedef std::map<std::string, std::string> StdMap;

void fillOurs(OurMap& m) {
    Data& d = data();
    for (long long i = 0; i < kKeys; ++i)
        m.addKV(d.cxKeys.at(i), d.cxVals.at(i));
}

void fillStd(StdMap& m) {
    Data& d = data();
    for (long long i = 0; i < kKeys; ++i)
        m.emplace(d.keys[i], d.vals[i]);
}

void BM_Insert_Ours(benchmark::State& st) {
    data();
    for (auto _ : st) {
        OurMap m;
        fillOurs(m);
        if (m.count != kKeys) st.SkipWithError("lost keys");
        st.PauseTiming();
        m.clear();
        st.ResumeTiming();
    }
    st.SetItemsProcessed(st.iterations() * kKeys);
}

void BM_Insert_Std(benchmark::State& st) {
    data();
    for (auto _ : st) {
        StdMap m;
        fillStd(m);
        if ((long long)m.size() != kKeys) st.SkipWithError("lost keys");
        st.PauseTiming();
        m.clear();
        st.ResumeTiming();
    }
    st.SetItemsProcessed(st.iterations() * kKeys);
}

void BM_Lookup_Ours(benchmark::State& st) {
    Data& d = data();
    OurMap m;
    fillOurs(m);
    for (auto _ : st) {
        long long bytes = 0;
        for (long long i = 0; i < kKeys; ++i) {
            CxStr1p* v = m.find(d.cxProbe.at(i));
            bytes += v ? v->len : -1000000;
        }
        benchmark::DoNotOptimize(bytes);
    }
    st.SetItemsProcessed(st.iterations() * kKeys);
}

void BM_Lookup_Std(benchmark::State& st) {
    Data& d = data();
    StdMap m;
    fillStd(m);
    for (auto _ : st) {
        long long bytes = 0;
        for (long long i = 0; i < kKeys; ++i) {
            auto it = m.find(d.probe[i]);
            bytes += it != m.end() ? (long long)it->second.size() : -1000000;
        }
        benchmark::DoNotOptimize(bytes);
    }
    st.SetItemsProcessed(st.iterations() * kKeys);
}

void BM_Walk_Ours(benchmark::State& st) {
    OurMap m;
    fillOurs(m);
    for (auto _ : st) {
        long long bytes = 0;
        for (auto it = m.begin(); it != m.end(); ++it)
            bytes += it->key.len + it->val.len;
        benchmark::DoNotOptimize(bytes);
    }
    st.SetItemsProcessed(st.iterations() * kKeys);
}

void BM_Walk_Std(benchmark::State& st) {
    StdMap m;
    fillStd(m);
    for (auto _ : st) {
        long long bytes = 0;
        for (auto& kv : m)
            bytes += (long long)(kv.first.size() + kv.second.size());
        benchmark::DoNotOptimize(bytes);
    }
    st.SetItemsProcessed(st.iterations() * kKeys);
}

} // namespace

BENCHMARK(BM_Insert_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Insert_Std)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lookup_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lookup_Std)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk_Std)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
