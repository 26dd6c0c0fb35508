// The platform part of the core count (jobs/threads.h).
#pragma once

// Processors online now; at least 1.
int hostCpuCores();
