// Glossary: CxStr1p is a growable byte string (Cx: C-compatible, always
// zero-terminated; 1p: one pointer to its buffer). cstr... functions take
// plain char pointers, str... functions take CxStr1p.
//
// The byte string used for every text: a heap buffer holding a zero-terminated
// text. Nothing throws; allocating operations report success as bool and leave
// the string valid when they fail. A view (cap 0, data set) reads a text that
// someone else keeps for the string's whole life, such as the goal table's
// name store; its first change makes a copy of its own, and copies of a view
// are ordinary strings.
#pragma once

#include <cstddef>

long long calcGrowStrCx(long long current, long long needed, long long granularity,
                        long long maximum);

class CxStr1p {
  public:
    long long cap = 0; // bytes allocated, 0 without buffer
    long long len = 0; // bytes in use, terminator not counted
    char* data = nullptr;

    CxStr1p() = default;
    CxStr1p(char const* text);
    CxStr1p(char const* text, long long n);
    explicit CxStr1p(char c);
    CxStr1p(CxStr1p const& o);
    CxStr1p(CxStr1p&& o) noexcept;
    ~CxStr1p();

    CxStr1p& operator=(CxStr1p const& o);
    CxStr1p& operator=(CxStr1p&& o) noexcept;
    CxStr1p& operator=(char const* text);
    CxStr1p& operator=(char c);

    bool isValid() const { return cap >= 0 && len >= 0 && (len <= cap || isView()); }
    bool isView() const { return cap < 1 && data; }
    bool isOk() const { return len >= 0; }
    bool isEmpty() const { return len < 1 || !data || !data[0]; }
    long long length() const { return len; }
    long long capacity() const { return cap; }
    long long countFree() const { return cap > 0 ? cap - len - 1 : 0; }
    // Never null: an empty string without buffer yields "".
    char const* c_str() const { return data ? data : ""; }

    bool setObj(CxStr1p const& o);
    bool setMove(CxStr1p& o);
    bool setCstr(char const* text, long long n = -1);
    bool setChar(char c);
    // Becomes a view of the n bytes at text, which must be followed by a zero.
    void setView(char const* text, long long n);
    void destroy();
    void swap(CxStr1p& o) noexcept;
    void clear() { forceLen(0); }

    bool reserve(long long n);

    bool addVal(char c);
    bool addCstr(char const* text, long long n = -1);
    bool addObj(CxStr1p const& o);
    CxStr1p& operator+=(CxStr1p const& o);
    CxStr1p& operator+=(char const* text);
    CxStr1p& operator+=(char c);

    bool insAt(long long pos, char const* text, long long n = -1);
    bool insAt(long long pos, CxStr1p const& o);
    bool insAt(long long pos, char c);
    bool delAt(long long pos);
    bool delSpan(long long pos, long long n);
    bool delEachChar(char c);
    void forceLen(long long n) {
        if (n > 0 && isView()) own();
        if (!data || cap < 1) {
            data = nullptr; // a view cut to nothing, or one that could not be copied
            len = 0;
            return;
        }
        if (n < 0) n = 0;
        if (n > cap - 1) n = cap - 1;
        len = n;
        data[len] = 0;
    }
    // Re-measures the text after a caller wrote into the buffer directly.
    void forceValidLen();
    // Same, for a text known to end within the first maxLen bytes (cut there otherwise).
    void forceValidLen(long long maxLen);

    char& at(long long i);
    char getAt(long long i) const { return (i >= 0 && i < len && data) ? data[i] : 0; }
    bool getAt(long long i, char& c) const;
    bool setAt(long long i, char c);
    bool findIndex(long long& idx, char c, long long from = 0) const;
    bool hasVal(char c) const;
    char last() const { return len > 0 && data ? data[len - 1] : 0; }

  private:
    bool growFor(long long newLen) {
        return (data && cap > newLen && newLen >= 0) || growSlow(newLen);
    }
    bool growSlow(long long newLen);
    // A view takes a copy of its text before anything is written in place.
    bool own() { return cap > 0 || !data || growSlow(len); }
};

int cmpCxStr1p(CxStr1p const& a, CxStr1p const& b);
bool isEqCxStr1p(CxStr1p const& a, CxStr1p const& b);
// Ordered containers compare names on every step: most pairs differ within
// their first eight bytes, which one word settles. Equal first bytes keep the
// first byte's signed order out of it; a zero byte before the first
// difference (where the texts end) or equal words go the long way.
inline int anyCmp(CxStr1p const& a, CxStr1p const& b) {
    if (a.data && b.data && a.len > 0 && b.len > 0 && a.data[0] == b.data[0] && a.data[0]) {
        unsigned long long x = 0, y = 0;
        __builtin_memcpy(&x, a.data, a.len < 8 ? (size_t)a.len : 8);
        __builtin_memcpy(&y, b.data, b.len < 8 ? (size_t)b.len : 8);
        if (x != y) {
            int i = __builtin_ctzll(x ^ y) >> 3; // little-endian: the first differing byte
            unsigned long long keep = ~0ULL >> (64 - 8 * i);
            unsigned long long t = (x & keep) | ~keep;
            if (((t - 0x0101010101010101ULL) & ~t & 0x8080808080808080ULL) == 0)
                return (unsigned char)(x >> (8 * i)) < (unsigned char)(y >> (8 * i)) ? -1 : 1;
        }
    }
    return cmpCxStr1p(a, b);
}

bool operator==(CxStr1p const& a, CxStr1p const& b);
bool operator!=(CxStr1p const& a, CxStr1p const& b);
bool operator<(CxStr1p const& a, CxStr1p const& b);
bool operator>(CxStr1p const& a, CxStr1p const& b);
bool operator<=(CxStr1p const& a, CxStr1p const& b);
bool operator>=(CxStr1p const& a, CxStr1p const& b);
bool operator==(CxStr1p const& a, char const* b);
bool operator!=(CxStr1p const& a, char const* b);
bool operator<(CxStr1p const& a, char const* b);
bool operator>(CxStr1p const& a, char const* b);
bool operator<=(CxStr1p const& a, char const* b);
bool operator>=(CxStr1p const& a, char const* b);
bool operator==(char const* a, CxStr1p const& b);
bool operator!=(char const* a, CxStr1p const& b);
bool operator<(char const* a, CxStr1p const& b);
bool operator>(char const* a, CxStr1p const& b);
bool operator<=(char const* a, CxStr1p const& b);
bool operator>=(char const* a, CxStr1p const& b);
bool operator==(CxStr1p const& a, char b);
bool operator!=(CxStr1p const& a, char b);
bool operator<(CxStr1p const& a, char b);
bool operator>(CxStr1p const& a, char b);
bool operator<=(CxStr1p const& a, char b);
bool operator>=(CxStr1p const& a, char b);
bool operator==(char a, CxStr1p const& b);
bool operator!=(char a, CxStr1p const& b);
bool operator<(char a, CxStr1p const& b);
bool operator>(char a, CxStr1p const& b);
bool operator<=(char a, CxStr1p const& b);
bool operator>=(char a, CxStr1p const& b);

CxStr1p operator+(CxStr1p const& a, CxStr1p const& b);
CxStr1p operator+(CxStr1p const& a, char const* b);
CxStr1p operator+(CxStr1p const& a, char b);
CxStr1p operator+(char const* a, CxStr1p const& b);
CxStr1p operator+(char a, CxStr1p const& b);
