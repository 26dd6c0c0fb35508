// A set of bytes as a 256-bit table for one-pass scans. The zero byte is never
// a member, so a zero byte inside a text always ends a token instead of being
// skipped as a separator or trimmed.
#pragma once

struct ByteSet {
    unsigned long long bits[4] = {0, 0, 0, 0};
    ByteSet() = default;
    explicit ByteSet(char const* chars) {
        if (chars)
            for (; *chars; ++chars)
                add(*chars);
    }
    void add(char c) {
        unsigned char u = (unsigned char)c;
        bits[u >> 6] |= 1ULL << (u & 63);
    }
    bool has(char c) const {
        unsigned char u = (unsigned char)c;
        return (bits[u >> 6] >> (u & 63)) & 1;
    }
};
