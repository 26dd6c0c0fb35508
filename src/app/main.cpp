#include "app/app.h"

int main(int argc, char** argv) {
    return appExitCode(appMain(argc, (char const**)argv));
}
