// doz-capture: the demo rendered offline on the headless platform.
#include "capture/capture_run.h"

int main(int argc, char** argv) {
    return runCapture(argc, argv);
}
