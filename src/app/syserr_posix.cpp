#include "app/syserr_sys.h"

// No separate system error code here; errno says it all.
unsigned long hostLastError() {
    return 0;
}

void hostLastErrorClear() {}
