/* Floor program for bench/build_bench.py: does the least work any build tool
 * must do for a workload, with no rules to read and no decisions to make.
 *
 *     floor [-j N] PLAN
 *
 * PLAN holds one step per line, carried out in order:
 *     S path        stat the path (a no-op build must look at every file once)
 *     C src dst     copy src to dst
 *     T path        touch: create the file or set its times to now
 *     D dir         create the directory (an existing one is fine)
 *     X command     run /bin/sh -c command
 *     W             wait until every started command has ended
 * With -j N (default 1) up to N commands run at once: an X step waits only
 * when N are running. Every step other than X waits for all of them first, so
 * a plan stays correct when read in order. Paths hold no blanks; a command is
 * the rest of its line. The first failing step or command ends the run with
 * exit code 1 and a message on standard error; commands already running are
 * waited for, none is started after it.
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

/* Commands still running, at most jobsMax of them. */
static pid_t* running;
static char** runningCmd;
static int runningCount;
static int jobsMax = 1;

/* Waits for any one running command; false when it failed. */
static int waitOne(void) {
    int status;
    pid_t pid;
    while ((pid = waitpid(-1, &status, 0)) < 0) {
        if (errno != EINTR) {
            /* Nothing left to wait for: forget them rather than loop forever. */
            while (runningCount > 0)
                free(runningCmd[--runningCount]);
            return fail("cannot wait for", "commands");
        }
    }
    int i = 0;
    while (i < runningCount && running[i] != pid)
        i++;
    if (i == runningCount) return 1; /* not ours: nothing to account for */
    char* cmd = runningCmd[i];
    runningCount--;
    running[i] = running[runningCount];
    runningCmd[i] = runningCmd[runningCount];
    int ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!ok) fprintf(stderr, "floor: command failed (status %d): %s\n", status, cmd);
    free(cmd);
    return ok;
}

/* Waits for every running command, also after a failure. */
static int waitAll(void) {
    int ok = 1;
    while (runningCount > 0) {
        if (!waitOne()) ok = 0;
    }
    return ok;
}

static int stepRun(const char* cmd) {
    while (runningCount == jobsMax) {
        if (!waitOne()) return 0;
    }
    char* copy = strdup(cmd);
    if (!copy) return fail("out of memory for", cmd);
    char* argv[] = {"sh", "-c", copy, NULL};
    pid_t pid;
    int rc = posix_spawn(&pid, "/bin/sh", NULL, NULL, argv, environ);
    if (rc != 0) {
        free(copy);
        errno = rc;
        return fail("cannot start", cmd);
    }
    running[runningCount] = pid;
    runningCmd[runningCount] = copy;
    runningCount++;
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
    if (line[0] != 'X' && !waitAll()) return 0;
    if (line[0] == 'W' && line[1] == '\0') return 1;
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
    const char* planName = argv[1];
    if (argc == 4 && strcmp(argv[1], "-j") == 0) {
        char* end;
        long n = strtol(argv[2], &end, 10);
        jobsMax = (*end == '\0' && n >= 1 && n <= 1024) ? (int)n : 0;
        planName = argv[3];
    } else if (argc != 2) {
        jobsMax = 0;
    }
    if (jobsMax == 0) {
        fprintf(stderr, "usage: floor [-j N] PLAN  (N from 1 to 1024)\n");
        return 2;
    }
    running = calloc((size_t)jobsMax, sizeof *running);
    runningCmd = calloc((size_t)jobsMax, sizeof *runningCmd);
    if (!running || !runningCmd) {
        fail("out of memory for", "job table");
        return 2;
    }
    FILE* plan = fopen(planName, "r");
    if (!plan) {
        fail("cannot open plan", planName);
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
    if (!waitAll() && ok) {
        ok = 0; /* a command started near the end failed */
    }
    free(running);
    free(runningCmd);
    if (!ok) {
        fprintf(stderr, "floor: stopped at step %ld of %s\n", steps, planName);
        return 1;
    }
    return 0;
}
