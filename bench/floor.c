/* Floor program for bench/build_bench.py: does the least work any build tool
 * must do for a workload, with no rules to read and no decisions to make.
 *
 *     floor PLAN
 *
 * PLAN holds one step per line, carried out in order:
 *     S path        stat the path (a no-op build must look at every file once)
 *     C src dst     copy src to dst
 *     T path        touch: create the file or set its times to now
 *     D dir         create the directory (an existing one is fine)
 *     X command     run /bin/sh -c command and wait for it
 * Paths hold no blanks; a command is the rest of its line. The first failing
 * step ends the run with exit code 1 and a message on standard error.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

static int fail(const char* what, const char* arg) {
    fprintf(stderr, "floor: %s '%s': %s\n", what, arg, strerror(errno));
    return 0;
}

static int stepStat(const char* path) {
    struct stat st;
    /* A missing file is a valid answer for a no-op check; only other errors fail. */
    if (stat(path, &st) != 0 && errno != ENOENT) return fail("cannot stat", path);
    return 1;
}

static int stepCopy(const char* src, const char* dst) {
    static char buf[1 << 16];
    int in = open(src, O_RDONLY | O_CLOEXEC);
    if (in < 0) return fail("cannot open", src);
    int out = open(dst, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
        close(in);
        return fail("cannot create", dst);
    }
    int ok = 1;
    for (;;) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = fail("cannot read", src);
            break;
        }
        for (ssize_t off = 0; off < n;) {
            ssize_t w = write(out, buf + off, (size_t)(n - off));
            if (w < 0) {
                if (errno == EINTR) continue;
                ok = fail("cannot write", dst);
                break;
            }
            off += w;
        }
        if (!ok) break;
    }
    close(in);
    if (close(out) != 0 && ok) ok = fail("cannot close", dst);
    return ok;
}

static int stepTouch(const char* path) {
    if (utimensat(AT_FDCWD, path, NULL, 0) == 0) return 1;
    if (errno != ENOENT) return fail("cannot touch", path);
    int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return fail("cannot create", path);
    close(fd);
    return 1;
}

static int stepMkdir(const char* dir) {
    if (mkdir(dir, 0777) == 0 || errno == EEXIST) return 1;
    return fail("cannot create directory", dir);
}

static int stepRun(const char* cmd) {
    char* argv[] = {"sh", "-c", (char*)cmd, NULL};
    pid_t pid;
    int rc = posix_spawn(&pid, "/bin/sh", NULL, NULL, argv, environ);
    if (rc != 0) {
        errno = rc;
        return fail("cannot start", cmd);
    }
    int status;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return fail("cannot wait for", cmd);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "floor: command failed (status %d): %s\n", status, cmd);
        return 0;
    }
    return 1;
}

/* Splits "a b" in place; returns the second word or NULL when there is none. */
static char* splitWord(char* s) {
    char* sp = strchr(s, ' ');
    if (!sp) return NULL;
    *sp = '\0';
    return sp + 1;
}

static int runStep(char* line) {
    if (line[0] == '\0' || line[1] != ' ') return line[0] == '\0';
    char* arg = line + 2;
    switch (line[0]) {
    case 'S':
        return stepStat(arg);
    case 'T':
        return stepTouch(arg);
    case 'D':
        return stepMkdir(arg);
    case 'X':
        return stepRun(arg);
    case 'C': {
        char* dst = splitWord(arg);
        if (dst) return stepCopy(arg, dst);
        break;
    }
    default:
        break;
    }
    fprintf(stderr, "floor: bad plan line: %s\n", line);
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: floor PLAN\n");
        return 2;
    }
    FILE* plan = fopen(argv[1], "r");
    if (!plan) {
        fail("cannot open plan", argv[1]);
        return 2;
    }
    char* line = NULL;
    size_t cap = 0;
    ssize_t len;
    long steps = 0;
    int ok = 1;
    while (ok && (len = getline(&line, &cap, plan)) >= 0) {
        while (len > 0 && (line[len - 1] == '\n' || line[len - 1] == '\r'))
            line[--len] = '\0';
        ok = runStep(line);
        steps++;
    }
    free(line);
    fclose(plan);
    if (!ok) {
        fprintf(stderr, "floor: stopped at step %ld of %s\n", steps, argv[1]);
        return 1;
    }
    return 0;
}
