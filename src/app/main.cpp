#include "app/app.h"

int main(int argc, char** argv) {
    appExitAtEnd(true);
    return appExitCode(appMain(argc, (char const**)argv));
}
