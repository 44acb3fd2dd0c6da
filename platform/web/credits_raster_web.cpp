// Credit lines through the page's Canvas 2D text: bold Arial (or the browser's substitute) sized so that
// its ascent and descent make a 56-pixel cell, as a 56 px GDI font is, with the cell's top at the band's
// row 12 and the line centred; read back into the same 512x560 bitmap as on the other platforms.
#include "platform/credits_raster.h"

#include <emscripten/console.h>
#include <emscripten/emscripten.h>

#include <cstring>

static unsigned char pixels[CREDITS_WIDTH * CREDITS_HEIGHT * 4];

EM_JS(int, drawCreditsJs,
      (const char* const* lines, int count, unsigned char* out, int width, int height, int bandHeight,
       int cellTop, int cellHeight),
      {
          var canvas = document.createElement('canvas');
          canvas.width = width;
          canvas.height = height;
          var context = canvas.getContext('2d');
          if (!context)
              return 0;
          context.fillStyle = '#000';
          context.fillRect(0, 0, width, height);
          var family = 'Arial, "Liberation Sans", Helvetica, sans-serif';
          // The cell of a 100 px font, scaled to the wanted cell.
          context.font = 'bold 100px ' + family;
          var probe = context.measureText('Hg');
          var ascent = probe.fontBoundingBoxAscent, descent = probe.fontBoundingBoxDescent;
          if (!(ascent > 0) || !(descent > 0)) {
              ascent = 90.5; // Arial's own metrics, where the browser does not report the font's
              descent = 21.2;
          }
          var size = 100 * cellHeight / (ascent + descent);
          var baselineDrop = Math.round(ascent * cellHeight / (ascent + descent));
          context.font = 'bold ' + size.toFixed(3) + 'px ' + family;
          context.fillStyle = '#fff';
          context.textAlign = 'center';
          context.textBaseline = 'alphabetic';
          for (var i = 0; i < count; ++i) {
              var text = UTF8ToString(HEAPU32[(lines >> 2) + i]);
              context.fillText(text, width / 2, bandHeight * i + cellTop + baselineDrop);
          }
          var image = context.getImageData(0, 0, width, height).data;
          // Blue, green, red, fourth byte: the lines are grey, so red and blue are alike anyway.
          for (var p = 0; p < width * height * 4; p += 4) {
              HEAPU8[out + p] = image[p + 2];
              HEAPU8[out + p + 1] = image[p + 1];
              HEAPU8[out + p + 2] = image[p];
              HEAPU8[out + p + 3] = 255;
          }
          return 1;
      });

const unsigned char* drawCreditsBitmap(const char* const* lines, int count) {
    std::memset(pixels, 0, sizeof pixels);
    if (!drawCreditsJs(lines, count, pixels, CREDITS_WIDTH, CREDITS_HEIGHT, CREDITS_BAND_HEIGHT,
                       CREDITS_CELL_TOP, CREDITS_CELL_HEIGHT))
        emscripten_console_warn("doz-engine: no Canvas 2D for the credit lines; the signs show no text");
    return pixels;
}

void releaseCreditsBitmap() {}
