// Linux-native entry point.
#include "app/startup.h"

int main(int argc, char** argv) {
    return runDemo(argc, argv);
}
