// Start-up confinement of the fuzz targets (POSIX, clang builds only): a
// private scratch directory as the working directory, removed at exit, with
// standard output discarded and the logger silenced.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/log.h"
#include "fuzz_harness.h"

inline std::string& fuzzHome() {
    static std::string home;
    return home;
}

inline void fuzzWriteFile(char const* name, char const* text) {
    FILE* f = std::fopen(name, "wb");
    if (!f) std::abort();
    std::fputs(text, f);
    std::fclose(f);
}

inline void fuzzRemoveHome() {
    if (fuzzHome().empty()) return;
    std::string cmd = "rm -rf '" + fuzzHome() + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", cmd.c_str());
}

// Returns to the scratch directory; an input may have left it.
inline void fuzzBackHome() {
    if (chdir(fuzzHome().c_str()) != 0) std::abort();
}

inline void fuzzConfine() {
    char tmpl[] = "/tmp/vorn-fuzz-XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    fuzzHome() = tmpl;
    std::atexit(fuzzRemoveHome);
    fuzzBackHome();
    fuzzWriteFile("a.vorn", fuzzIncludeA());
    fuzzWriteFile("b.vorn", fuzzIncludeB());
    fuzzWriteFile("args.txt", "-j 2 all\n-D r\n");
    fuzzWriteFile("args2.txt", "-@ args.txt -q\n");
    if (mkdir("sub", 0755) != 0) std::abort();
    int fd = open("/dev/null", O_WRONLY);
    if (fd < 0 || dup2(fd, 1) < 0) std::abort();
    close(fd);
    logConfPassLevel(3);
}
