// Name to number in expected constant time, for passes over a whole graph
// that would otherwise search an ordered tree once per edge. The index points
// at the names; they must outlive it. It grows as names are added.
#pragma once

#include "base/containers.h"
#include "base/str.h"

#include <string.h>

class NameIndex {
  public:
    // Room for n names; false when the table cannot be allocated.
    bool init(long long n) {
        long long cap = 16;
        while (cap < 2 * n)
            cap *= 2;
        mask = cap - 1;
        count = 0;
        slots.clear();
        if (!slots.reserve(cap)) return false;
        for (long long i = 0; i < cap; ++i)
            slots.addVal(Slot());
        return true;
    }
    // A name added twice keeps its first number. False when the table could not grow.
    bool add(CxStr1p const* name, long long id) { return findOrAdd(name, id) >= 0; }
    // The number of the name, which is added with id when absent; -1 when the
    // table could not grow.
    long long findOrAdd(CxStr1p const* name, long long id) {
        if (id < 0 || id > 0x7fffffff) return -1;
        if (2 * (count + 1) > mask + 1 && !grow()) return -1;
        unsigned h = hashOf(*name);
        long long i = h & mask;
        for (; slots.data[i].key; i = (i + 1) & mask)
            if (slots.data[i].hash == h && same(*slots.data[i].key, *name)) return slots.data[i].id;
        slots.data[i] = Slot{name, h, (int)id};
        ++count;
        return id;
    }
    long long size() const { return count; }
    long long find(CxStr1p const& name) const {
        if (slots.isEmpty()) return -1;
        unsigned h = hashOf(name);
        for (long long i = h & mask; slots.data[i].key; i = (i + 1) & mask)
            if (slots.data[i].hash == h && same(*slots.data[i].key, name)) return slots.data[i].id;
        return -1;
    }

  private:
    // The hash beside the key spares reading the names of other slots.
    struct Slot {
        CxStr1p const* key = nullptr;
        unsigned hash = 0;
        int id = -1;
    };
    Vect1p_Vobj<Slot> slots;
    long long mask = 0;
    long long count = 0;

    bool grow() {
        Vect1p_Vobj<Slot> old;
        old.swap(slots);
        if (!init(old.isEmpty() ? 8 : old.size())) return false;
        for (Slot const& s : old) {
            if (!s.key) continue;
            long long i = s.hash & mask;
            while (slots.data[i].key)
                i = (i + 1) & mask;
            slots.data[i] = s;
            ++count;
        }
        return true;
    }

    static bool same(CxStr1p const& a, CxStr1p const& b) {
        return a.len == b.len && (a.len == 0 || memcmp(a.data, b.data, (size_t)a.len) == 0);
    }

    static unsigned hashOf(CxStr1p const& s) {
        unsigned long long h = 1469598103934665603ULL; // FNV-1a
        for (long long i = 0; i < s.len; ++i) {
            h ^= (unsigned char)s.data[i];
            h *= 1099511628211ULL;
        }
        return (unsigned)(h ^ (h >> 32));
    }
};
