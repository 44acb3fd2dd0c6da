// Writes a stage as the program compiles it, with the track names put in, so that the reference compiler
// checks the text the driver sees. Usage: stage_with_track_names IN OUT
#include "render/stage_track_names.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: stage_with_track_names IN OUT\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "stage_with_track_names: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream out(argv[2], std::ios::binary);
    out << withTrackNames(source.c_str());
    out.close();
    if (!out) {
        std::fprintf(stderr, "stage_with_track_names: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
