// Runs a function on a thread with a large stack and waits for it: the
// depth-first build walk recurses once per level of the dependency graph.
#pragma once

bool runOnLargeStack(void (*fn)(void*), void* arg, long long bytes);
