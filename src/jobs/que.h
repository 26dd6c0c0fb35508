// Job queue facade: the parallel build hands batches of recipe lines to the
// queue chosen once per run by a letter and polls it; it never learns whether
// a batch runs on a thread, in a callback or in a child process.
#pragma once

#include "base/containers.h"
#include "base/str.h"
#include "exec/run.h"

// Ends every batch handed to a worker; a batch without it is incomplete.
extern char const* const kBatchEndMarker; // "\n//$\n"
long long const kBatchEndMarkerLen = 5;

// Takes the marker off the end of a batch (after turning CR LF into LF);
// false when the batch does not end with it.
bool queBatchCutMarker(CxStr1p& text);

// The operations every variant provides, named <prefix><Operation>.
#define QUE_DECLARE_OPS(P)                                                                         \
    void P##Clear();                                                                               \
    void P##Destroy();                                                                             \
    bool P##InitMax(long long n);                                                                  \
    bool P##InitSleep(long long advanceMs, long long waitMs);                                      \
    void P##InitDoneAppInfo(Vect1p_Vobj<RunAppInfo>* done);                                        \
    long long P##Capacity();                                                                       \
    long long P##Room();                                                                           \
    long long P##CountWaitStart();                                                                 \
    long long P##CountWaitExit();                                                                  \
    long long P##CountToDo();                                                                      \
    bool P##WasErr();                                                                              \
    void P##SetErr(bool on);                                                                       \
    bool P##Advance();                                                                             \
    bool P##AdvanceWaitAll();                                                                      \
    bool P##AdvanceWaitClear();                                                                    \
    void P##WaitAnyExit(long long ms);

// Defines them on a QueCore object (PushAdvance is each variant's own).
#define QUE_DEFINE_OPS(P, q)                                                                       \
    void P##Clear() {                                                                              \
        q.clear();                                                                                 \
    }                                                                                              \
    void P##Destroy() {                                                                            \
        q.destroy();                                                                               \
    }                                                                                              \
    bool P##InitMax(long long n) {                                                                 \
        return q.initMax(n);                                                                       \
    }                                                                                              \
    bool P##InitSleep(long long advanceMs, long long waitMs) {                                     \
        return q.initSleep(advanceMs, waitMs);                                                     \
    }                                                                                              \
    void P##InitDoneAppInfo(Vect1p_Vobj<RunAppInfo>* done) {                                       \
        q.done = done;                                                                             \
    }                                                                                              \
    long long P##Capacity() {                                                                      \
        return q.capacity;                                                                         \
    }                                                                                              \
    long long P##Room() {                                                                          \
        return q.room();                                                                           \
    }                                                                                              \
    long long P##CountWaitStart() {                                                                \
        return q.countWaitStart();                                                                 \
    }                                                                                              \
    long long P##CountWaitExit() {                                                                 \
        return q.running;                                                                          \
    }                                                                                              \
    long long P##CountToDo() {                                                                     \
        return q.running + q.countWaitStart();                                                     \
    }                                                                                              \
    bool P##WasErr() {                                                                             \
        return q.err;                                                                              \
    }                                                                                              \
    void P##SetErr(bool on) {                                                                      \
        q.setErr(on);                                                                              \
    }                                                                                              \
    bool P##Advance() {                                                                            \
        return q.advance();                                                                        \
    }                                                                                              \
    bool P##AdvanceWaitAll() {                                                                     \
        return q.advanceWaitAll();                                                                 \
    }                                                                                              \
    bool P##AdvanceWaitClear() {                                                                   \
        bool ok = q.advanceWaitAll();                                                              \
        q.clear();                                                                                 \
        return ok;                                                                                 \
    }                                                                                              \
    void P##WaitAnyExit(long long ms) {                                                            \
        if (q.running > 0) decltype(q)::Variant::waitAny(q, ms);                                   \
    }

// ---- the facade
bool queCmds2AnyInitCb(char letter);
char queCmds2AnyLetter();
void queCmds2AnyClear();
void queCmds2AnyDestroy();
bool queCmds2AnyInitMax(long long n);
bool queCmds2AnyInitSleep(long long advanceMs, long long waitMs);
void queCmds2AnyInitDoneAppInfo(Vect1p_Vobj<RunAppInfo>* done);
bool queCmds2AnyInitPathPrefix(CxStr1p const& prefix);
bool queCmds2AnyInitFnWorker(void* fn);
long long queCmds2AnyCapacity();
// Batches the queue takes now: free slots, and where the variant hands
// batches to busy workers ahead of time, those places too.
long long queCmds2AnyRoom();
long long queCmds2AnyCountWaitStart();
long long queCmds2AnyCountWaitExit();
long long queCmds2AnyCountToDo();
bool queCmds2AnyWasErr();
void queCmds2AnySetErr(bool on);
bool queCmds2AnyAdvance();
bool queCmds2AnyPushAdvance(CxStr1p const& cmd, CxStr1p const& cmds, CxStr1p const& label);
bool queCmds2AnyAdvanceWaitAll(CxStr1p const& label);
bool queCmds2AnyAdvanceWaitClear(CxStr1p const& label);
// Waits until a running job ends or ms have passed, whichever comes first.
void queCmds2AnyWaitAnyExit(long long ms);
bool verifyQueCmd12Done(bool waitOk, CxStr1p const& label);
