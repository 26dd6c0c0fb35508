// The platform part of build/stack.
#pragma once

// Runs fn(arg) on a new thread of the given stack size and waits for it.
bool hostRunOnThread(void (*fn)(void*), void* arg, long long stackBytes);
