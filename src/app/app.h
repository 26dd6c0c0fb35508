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

// Process preparation.
bool initStdBinary();
bool initSigPipeIgnore();
// The heap grows in one large step the kernel may back with 2 MB pages, so a
// big graph costs few page faults; nothing is taken until it is touched.
void initHeap();
// Host name, cached after the first query; empty when the query fails.
bool hostNameSet(CxStr1p& out);
