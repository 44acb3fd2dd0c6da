// PNG files through stb_image_write (Debian's libstb).
#pragma once
#include <string>

// Writes `width` x `height` RGB pixels, top row first, to `path`; false, with the reason, on any error.
bool writePngRgb(const std::string& path, const unsigned char* rgb, int width, int height, std::string* why);
