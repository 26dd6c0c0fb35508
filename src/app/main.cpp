#include "app/app.h"

int main(int argc, char** argv) {
    return appMain(argc, (char const**)argv) ? 0 : 2;
}
