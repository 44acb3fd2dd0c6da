// The one test source compiled with the build's absolute paths: every other one compiles the same in any
// checkout, so that the compiler cache serves a clone in another folder.
#include "tests/build_paths.h"

const char* sourceDir() {
    return DOZ_SOURCE_DIR;
}
const char* fixtureDir() {
    return DOZ_FIXTURE_DIR;
}
const char* soundtrackFile() {
    return DOZ_SOUNDTRACK_FILE;
}
const char* mpg123Path() {
    return DOZ_MPG123;
}
const char* capturePath() {
    return DOZ_CAPTURE_PATH;
}
const char* referenceDir() {
    return DOZ_REFERENCE_DIR;
}
const char* stillsOutputDir() {
    return DOZ_STILLS_OUTPUT_DIR;
}
const char* cmakePath() {
    return DOZ_CMAKE;
}
