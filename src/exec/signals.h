// Interrupts and the process itself: the handler that records SIGINT and
// SIGTERM and has the child registry stop every child, the handler's own
// output, and the process id.
#pragma once

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
// A nested run ends when the interpreter that started it is stopped: POSIX
// asks for SIGTERM then; on Windows stopping a child ends its whole job.
bool endWithParent();
// True once the interrupt handler ran: the builders start nothing new.
bool appInterrupted();
void appInterruptedClear();
// The child registry installs the function that stops every registered child.
void runSetStopChildrenFn(void (*fn)());

long long getPid();
// Direct write to descriptor 2, usable from a signal handler.
void writeFd2(char const* buf, int n);
