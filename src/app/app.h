// Run driver: process preparation, worker dispatch, nesting level and log
// header, option sources, the pipeline, the summary line and the exit code.
#pragma once

#include "base/str.h"

char const* cstrAppName();
char const* cstrAppVers();
bool echoAbout();

bool appMain(int argc, char const** argv);
// The process exit code after appMain: a worker ends with its batch's code.
int appExitCode(bool ok);
// With on, appMain ends the process itself once its output is flushed.
void appExitAtEnd(bool on);
bool initAppUsual(char const* argv0 = nullptr);
// One level-2 line for each failed preparation step.
void initAppErrReport();
int initAppErrCount();
char const* const* initAppErrVector();
bool appInitEnv();
bool algoApp();
bool appInitArgsFromMain(int argc, char const** argv, char const* flags);
bool appInitArgsFromEnvStr(CxStr1p const& text, char const* flags);
bool applyStrEnvArgs(CxStr1p const& text);
bool appInitLogHdrCrumbs();
bool appDoneAdaptReturn(bool ok);
bool appDoneLogSummary(bool ok, int levelOk, int levelErr, CxStr1p const& extra1,
                       CxStr1p const& extra2);

// Interrupt handling.
typedef void (*SigHandlerFn)(int);
bool runInitSigHandler();
bool runDoneSigHandler();
// While held (a build runs), the handler stays installed when the last
// registered child ends, so an interrupt between commands still ends the
// run through its summary.
void runHoldSigHandler(bool on);
bool trapSignal(int sig, SigHandlerFn handler, SigHandlerFn* previous = nullptr);
bool untrapSignal(int sig);
bool raiseSig(int sig);
bool raiseInt();
bool raiseAbort();
// The handler's line, made without formatted output; cut to cap - 1 bytes.
int sigFormat(char* buf, int cap, int sig, void const* previous);
void sigEcho2Fd(int sig, void const* previous);
void sigEcho2Fs(int sig, void const* previous);
long long getPid();
// A nested run ends when the interpreter that started it is stopped: POSIX
// asks for SIGTERM then; on Windows stopping a child ends its whole job.
bool endWithParent();
bool endWithParent_OnWin();
bool endWithParent_OnPosix();
// True once the interrupt handler ran: the builders start nothing new.
bool appInterrupted();
void appInterruptedClear();
// The child registry installs the function that stops every registered child.
void runSetStopChildrenFn(void (*fn)());

// Platform parts of process preparation.
bool initStdBinary_OnWin();
bool initStdBinary_OnPosix();
bool initSigPipeIgnore_OnWin();
bool initSigPipeIgnore_OnPosix();
long long getPid_OnWin();
long long getPid_OnPosix();
bool initStdBinary();
bool initSigPipeIgnore();
// The heap grows in one large step the kernel may back with 2 MB pages, so a
// big graph costs few page faults; nothing is taken until it is touched.
void initHeap();
void initHeap_OnWin();
void initHeap_OnPosix();
// Host name, cached after the first query; empty when the query fails.
bool hostNameSet(CxStr1p& out);
bool hostNameSet_OnWin(CxStr1p& out);
bool hostNameSet_OnPosix(CxStr1p& out);
// Direct write to descriptor 2, usable from a signal handler.
void writeFd2(char const* buf, int n);
