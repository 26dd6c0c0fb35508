// Rules-text hot paths at two input sizes: expanding a text full of variable
// references, and reading a text into logical lines. Time must grow linearly,
// so the second size (twice the first) should take about twice as long.
#include <benchmark/benchmark.h>

#include <string>

#include "rules/envmap.h"
#include "rules/expand.h"
#include "rules/lineparse.h"

namespace {

// scale 1: about 10 MB with 200,000 references.
std::string makeExpandText(int scale) {
    std::string t;
    long long refs = 200000LL * scale;
    t.reserve((size_t)refs * 52);
    for (long long i = 0; i < refs; ++i) {
        t += "cc -c -O2 -Wall src/file.c -o out/x.o ${VAR_";
        t += std::to_string(i % 1000);
        t += "} \\$ '$Q' ";
    }
    return t;
}

// scale 1: 200,000 physical lines: rules, recipes, continuations, quotes.
std::string makeRulesText(int scale) {
    std::string t;
    long long lines = 200000LL * scale;
    for (long long i = 0; i < lines; i += 5) {
        t += "out/f" + std::to_string(i) + ".o: src/f" + std::to_string(i) + ".c \\\n";
        t += "    include/common.h\n";
        t += "\tcc -c -o $@ src/f" + std::to_string(i) + ".c\n";
        t += "MSG = \"first line\n";
        t += "second line\" # note\n";
    }
    return t;
}

EnvMap& store() {
    static EnvMap m;
    static bool init = false;
    if (!init) {
        for (int i = 0; i < 1000; ++i)
            m.varSet(CxStr1p(("VAR_" + std::to_string(i)).c_str()), "value-text");
        init = true;
    }
    return m;
}

void BM_Expand(benchmark::State& st) {
    CxStr1p text(makeExpandText((int)st.range(0)).c_str());
    EnvMap& m = store();
    for (auto _ : st) {
        CxStr1p t(text);
        bool ok = evalStrSet(m, t, CxStr1p(), "(", false);
        benchmark::DoNotOptimize(ok);
    }
    st.counters["MB"] = (double)text.length() / 1e6;
}

void BM_ReadLines(benchmark::State& st) {
    CxStr1p text(makeRulesText((int)st.range(0)).c_str());
    for (auto _ : st) {
        CxStr1p line;
        long long pos = 0, nr = 0, count = 0;
        bool qo = false;
        while (strTokenTextEval(line, pos, nr, qo, text, "j"))
            ++count;
        benchmark::DoNotOptimize(count);
        st.counters["logical"] = (double)count;
    }
    st.counters["physical"] = 200000.0 * (double)st.range(0);
}

} // namespace

BENCHMARK(BM_Expand)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadLines)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
