// Where the tests find the checkout, the build's outputs and the tools they run.
#pragma once

const char* sourceDir();       // the checkout
const char* fixtureDir();      // the MP3 fixtures the build encodes
const char* soundtrackFile();  // the carried soundtrack's MP3
const char* mpg123Path();      // the independent decoder
const char* capturePath();     // doz-capture, which the capture tests run
const char* referenceDir();    // the GL tests' reference frames
const char* stillsOutputDir(); // where the GL tests leave the frames they drew
const char* cmakePath();       // the build's own cmake, which runs its scripts
