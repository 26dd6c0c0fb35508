// The platform part of app/syserr.
#pragma once

// The system's own error code of the last call (0 where errno says it all).
unsigned long hostLastError();
void hostLastErrorClear();
