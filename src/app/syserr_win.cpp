#include <windows.h>

#include "app/syserr_sys.h"

unsigned long hostLastError() {
    return (unsigned long)GetLastError();
}

void hostLastErrorClear() {
    SetLastError(0);
}
