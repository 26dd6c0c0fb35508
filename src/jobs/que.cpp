#include "jobs/que.h"

#include "app/log.h"
#include "app/conf.h"
#include "base/textedit.h"
#include "jobs/quefork.h"
#include "jobs/quepipe.h"
#include "jobs/que_threads.h"

char const* const kBatchEndMarker = "\n//$\n";

bool queBatchCutMarker(CxStr1p& text) {
    strReplaceNL2LF(text);
    long long n = text.length();
    if (n < kBatchEndMarkerLen) return false;
    if (memcmp(text.c_str() + n - kBatchEndMarkerLen, kBatchEndMarker, kBatchEndMarkerLen) != 0)
        return false;
    text.setCstr(text.c_str(), n - kBatchEndMarkerLen);
    return true;
}

namespace {

struct QueOps {
    void (*clear)();
    void (*destroy)();
    bool (*initMax)(long long);
    bool (*initSleep)(long long, long long);
    void (*initDoneAppInfo)(Vect1p_Vobj<RunAppInfo>*);
    long long (*capacity)();
    long long (*room)();
    long long (*countWaitStart)();
    long long (*countWaitExit)();
    long long (*countToDo)();
    bool (*wasErr)();
    void (*setErr)(bool);
    bool (*advance)();
    bool (*pushAdvance)(CxStr1p const&, CxStr1p const&, CxStr1p const&);
    bool (*advanceWaitAll)();
};

// Before a variant is chosen every operation does nothing.
void stubV() {}
bool stubB() {
    return false;
}
bool stubB1(long long) {
    return false;
}
bool stubB2(long long, long long) {
    return false;
}
void stubDone(Vect1p_Vobj<RunAppInfo>*) {}
long long stubN() {
    return 0;
}
void stubSetErr(bool) {}
bool stubPush(CxStr1p const&, CxStr1p const&, CxStr1p const&) {
    return false;
}
void stubWait(long long) {}

QueOps const kStubOps = {stubV, stubV, stubB1, stubB2,     stubDone, stubN,    stubN, stubN,
                         stubN, stubN, stubB,  stubSetErr, stubB,    stubPush, stubB};

#define QUE_OPS_OF(P)                                                                              \
    QueOps {                                                                                       \
        P##Clear, P##Destroy, P##InitMax, P##InitSleep, P##InitDoneAppInfo, P##Capacity, P##Room,  \
            P##CountWaitStart, P##CountWaitExit, P##CountToDo, P##WasErr, P##SetErr, P##Advance,   \
            P##PushAdvance, P##AdvanceWaitAll                                                      \
    }

QueOps g_ops = kStubOps;
void (*g_waitAny)(long long) = stubWait;
char g_letter = 0;

} // namespace

bool queCmds2AnyInitCb(char letter) {
    switch (letter) {
    case 'c':
        g_ops = QUE_OPS_OF(queCmds2CbFn);
        g_waitAny = queCmds2CbFnWaitAnyExit;
        break;
    case 'f':
        g_ops = QUE_OPS_OF(queCmds2Fork);
        g_waitAny = queCmds2ForkWaitAnyExit;
        break;
    case 'p':
        g_ops = QUE_OPS_OF(queCmds2Pipe);
        g_waitAny = queCmds2PipeWaitAnyExit;
        break;
    case 't':
        g_ops = QUE_OPS_OF(queCmds2Trd);
        g_waitAny = queCmds2TrdWaitAnyExit;
        break;
    case '1':
        break;
    default:
        return false;
    }
    g_letter = letter;
    return true;
}

char queCmds2AnyLetter() {
    return g_letter;
}
void queCmds2AnyClear() {
    g_ops.clear();
}
void queCmds2AnyDestroy() {
    g_ops.destroy();
    if (g_letter == 'f') queCmds2ForkInitPathPrefix(CxStr1p());
}
bool queCmds2AnyInitMax(long long n) {
    return g_ops.initMax(n);
}
bool queCmds2AnyInitSleep(long long advanceMs, long long waitMs) {
    return g_ops.initSleep(advanceMs, waitMs);
}
void queCmds2AnyInitDoneAppInfo(Vect1p_Vobj<RunAppInfo>* done) {
    g_ops.initDoneAppInfo(done);
}
bool queCmds2AnyInitPathPrefix(CxStr1p const& prefix) {
    if (g_letter != 'f') return true;
    return queCmds2ForkInitPathPrefix(prefix);
}
bool queCmds2AnyInitFnWorker(void* fn) {
    if (g_letter == 'c') return queCmds2CbFnInitFnWorker(fn);
    if (g_letter == 't') return queCmds2TrdInitFnWorker(fn);
    return false;
}
long long queCmds2AnyCapacity() {
    return g_ops.capacity();
}
long long queCmds2AnyRoom() {
    return g_ops.room();
}
long long queCmds2AnyCountWaitStart() {
    return g_ops.countWaitStart();
}
long long queCmds2AnyCountWaitExit() {
    return g_ops.countWaitExit();
}
long long queCmds2AnyCountToDo() {
    return g_ops.countToDo();
}
bool queCmds2AnyWasErr() {
    return g_ops.wasErr();
}
void queCmds2AnySetErr(bool on) {
    g_ops.setErr(on);
}
bool queCmds2AnyAdvance() {
    return g_ops.advance();
}
bool queCmds2AnyPushAdvance(CxStr1p const& cmd, CxStr1p const& cmds, CxStr1p const& label) {
    return g_ops.pushAdvance(cmd, cmds, label);
}
void queCmds2AnyWaitAnyExit(long long ms) {
    g_waitAny(ms);
}

bool verifyQueCmd12Done(bool waitOk, CxStr1p const& label) {
    if (!waitOk && !label.isEmpty()) {
        logPrint(2, "Jobs Wait failed @ %s", label.c_str());
        return false;
    }
    if (!waitOk && RunInfo::_p) RunInfo::_p->failed = true;
    long long n1 = queCmd1ForkCountToDo();
    long long n2 = g_ops.countToDo();
    if (n1 == 0 && n2 == 0) return waitOk;
    logPrint(2, "Jobs ToDo 1:%lli 2:%lli @ %s", n1, n2, label.c_str());
    return false;
}

bool queCmds2AnyAdvanceWaitAll(CxStr1p const& label) {
    return verifyQueCmd12Done(g_ops.advanceWaitAll(), label);
}

bool queCmds2AnyAdvanceWaitClear(CxStr1p const& label) {
    bool ok = verifyQueCmd12Done(g_ops.advanceWaitAll(), label);
    g_ops.clear();
    return ok;
}
