// The Linux executable: the options go to the demo (none: the release run).
#include "app/startup.h"

int main(int argc, char** argv) {
    return runDemo(argc, argv);
}
