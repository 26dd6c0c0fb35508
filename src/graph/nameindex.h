// Name to number in expected constant time, for passes over a whole graph
// that would otherwise search an ordered tree once per edge. The index points
// at the names; they must outlive it. It grows as names are added.
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
        count = 0;
        keys.clear();
        ids.clear();
        if (!keys.reserve(cap) || !ids.reserve(cap)) return false;
        for (long long i = 0; i < cap; ++i) {
            keys.addVal(nullptr);
            ids.addVal(-1);
        }
        return true;
    }
    // A name added twice keeps its first number. False when the table could not grow.
    bool add(CxStr1p const* name, long long id) {
        if (2 * (count + 1) > mask + 1 && !grow()) return false;
        long long h = slotOf(*name);
        while (keys.data[h]) {
            if (*keys.data[h] == *name) return true;
            h = (h + 1) & mask;
        }
        keys.data[h] = name;
        ids.data[h] = id;
        ++count;
        return true;
    }
    long long size() const { return count; }
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
    long long count = 0;

    bool grow() {
        Vect1p_Vobj<CxStr1p const*> oldKeys;
        Vect1p_Vobj<long long> oldIds;
        oldKeys.swap(keys);
        oldIds.swap(ids);
        if (!init(oldKeys.isEmpty() ? 8 : oldKeys.size())) return false;
        for (long long i = 0; i < oldKeys.size(); ++i)
            if (oldKeys.data[i]) add(oldKeys.data[i], oldIds.data[i]);
        return true;
    }

    long long slotOf(CxStr1p const& s) const {
        unsigned long long h = 1469598103934665603ULL; // FNV-1a
        for (long long i = 0; i < s.len; ++i) {
            h ^= (unsigned char)s.data[i];
            h *= 1099511628211ULL;
        }
        return (long long)(h & (unsigned long long)mask);
    }
};
