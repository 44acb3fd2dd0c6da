// Linux-native entry point. The demo takes no command line.
#include "app/startup.h"

int main(int, char**) {
    return runDemo();
}
