// Runs a function on a thread with a large stack and waits for it: the
// depth-first build walk recurses once per level of the dependency graph.
// Also runs a function on a second thread and on this one at once.
#pragma once

bool runOnLargeStack(void (*fn)(void*), void* arg, long long bytes);
bool runOnLargeStack_OnWin(void (*fn)(void*), void* arg, long long bytes);
bool runOnLargeStack_OnPosix(void (*fn)(void*), void* arg, long long bytes);

// Runs fn on a new thread and on this one, and returns when both have ended;
// runs it here only when no thread can be started. fn shares out its work.
void runOnTwoThreads(void (*fn)(void*), void* arg);
bool runBeside_OnWin(void (*fn)(void*), void* arg);
bool runBeside_OnPosix(void (*fn)(void*), void* arg);
