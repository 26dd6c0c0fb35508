// Name to number in expected constant time, for passes over a whole graph
// that would otherwise search an ordered tree once per edge. The index points
// at the names; they must outlive it.
#pragma once

#include "base/containers.h"
#include "base/str.h"

class NameIndex {
  public:
    // Room for n names; false when the table cannot be allocated.
    bool init(long long n) {
        long long cap = 16;
        while (cap < 2 * n)
            cap *= 2;
        mask = cap - 1;
        keys.clear();
        ids.clear();
        if (!keys.reserve(cap) || !ids.reserve(cap)) return false;
        for (long long i = 0; i < cap; ++i) {
            keys.addVal(nullptr);
            ids.addVal(-1);
        }
        return true;
    }
    // A name added twice keeps its first number.
    void add(CxStr1p const* name, long long id) {
        long long h = slotOf(*name);
        while (keys.data[h]) {
            if (*keys.data[h] == *name) return;
            h = (h + 1) & mask;
        }
        keys.data[h] = name;
        ids.data[h] = id;
    }
    long long find(CxStr1p const& name) const {
        if (keys.isEmpty()) return -1;
        for (long long h = slotOf(name); keys.data[h]; h = (h + 1) & mask)
            if (*keys.data[h] == name) return ids.data[h];
        return -1;
    }

  private:
    Vect1p_Vobj<CxStr1p const*> keys;
    Vect1p_Vobj<long long> ids;
    long long mask = 0;

    long long slotOf(CxStr1p const& s) const {
        unsigned long long h = 1469598103934665603ULL; // FNV-1a
        for (long long i = 0; i < s.len; ++i) {
            h ^= (unsigned char)s.data[i];
            h *= 1099511628211ULL;
        }
        return (long long)(h & (unsigned long long)mask);
    }
};
