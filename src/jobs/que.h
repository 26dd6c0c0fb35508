// Job queue facade: the capacity of the queue installed for this run.
#pragma once

// Number of job slots of the installed queue; 0 while none is installed.
long long queCmds2AnyCapacity();
