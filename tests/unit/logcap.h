// Routes the logger into a buffer for the test's lifetime, plain (no time
// stamps) under the name "t"; the previous settings come back afterwards.
#pragma once

#include <string>
#include <vector>

#include "app/log.h"

class LogCapture {
  public:
    explicit LogCapture(long long size = 1 << 16) : saved_(logGetConf()), buf_((size_t)size, 0) {
        logConfPassLevel(0);
        logInitTimeNone("t");
        LogConf c = logGetConf();
        c.fsAll = c.fsLow = c.fsHigh = nullptr;
        c.fdAll = c.fdLow = c.fdHigh = 0;
        c.capBuf = buf_.data();
        c.capCap = (long long)buf_.size();
        logConf(c, 0);
    }
    ~LogCapture() { logConf(saved_, 0); }
    LogCapture(LogCapture const&) = delete;
    LogCapture& operator=(LogCapture const&) = delete;

    std::string text() const { return std::string(buf_.data()); }
    // Empties the buffer; the settings stay.
    void clear() {
        buf_.assign(buf_.size(), 0);
        logConf(logGetConf(), 0);
    }
    bool has(char const* part) const { return text().find(part) != std::string::npos; }

  private:
    LogConf saved_;
    std::vector<char> buf_;
};
