// Encodes with stb_image_write into a file whose every write is checked.
#include "capture/png_file.h"

#include "capture/output_file.h"

#include <stb/stb_image_write.h>

#include <cstdio>

namespace {
struct PngSink {
    std::FILE* file;
    bool failed;
};
} // namespace

static void writeToSink(void* context, void* data, int size) {
    auto* sink = static_cast<PngSink*>(context);
    if (!sink->failed &&
        std::fwrite(data, 1, static_cast<size_t>(size), sink->file) != static_cast<size_t>(size))
        sink->failed = true;
}

bool writePngRgb(const std::string& path, const unsigned char* rgb, int width, int height, std::string* why) {
    PngSink sink = {std::fopen(path.c_str(), "wb"), false};
    if (sink.file == nullptr) {
        *why = describeError("cannot write '" + path + "'");
        return false;
    }
    int encoded = stbi_write_png_to_func(writeToSink, &sink, width, height, 3, rgb, width * 3);
    bool failed = sink.failed || std::fflush(sink.file) != 0;
    if (std::fclose(sink.file) != 0)
        failed = true;
    if (!encoded) {
        *why = "cannot encode the PNG for '" + path + "' (out of memory?)";
        return false;
    }
    if (failed) {
        *why = describeError("cannot write '" + path + "'");
        return false;
    }
    return true;
}
