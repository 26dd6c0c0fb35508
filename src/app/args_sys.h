// The platform part of app/args.
#pragma once

// Processors online now; at least 1.
int hostCpuCores();
