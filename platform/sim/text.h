/*
 * text.h - shaping and drawing UTF-8 text in the terminal's TrueType font
 * (internal to the simulator).
 *
 * A text holding Arabic-script characters is laid out as one right-to-left
 * run for the whole string, with no bidirectional reordering: the terminal
 * draws that way, which is why the application reverses its digit runs first.
 * Any other text runs left to right.
 */
#ifndef SIM_TEXT_H
#define SIM_TEXT_H

#include <string>

namespace sim::detail {

// Line box height for the application's size code 1..3.
int textLineHeight(int sizeCode);
bool textHasArabicScript(const std::string& utf8);

// A target: RGB pixels, 3 bytes each, rows of width * 3 bytes.
struct Canvas {
  unsigned char* rgb;
  int width, height;
};

// Shapes utf8; *width receives its advance width in pixels. false when the
// font cannot be loaded.
bool textMeasure(const std::string& utf8, int sizeCode, int* width);
// The same for any pixel size (the printer's fonts), clamped to 4..96.
bool textMeasurePx(const std::string& utf8, int pixelSize, int* width);
// Draws utf8 with its pen starting at penX and its line box top at top,
// blending in colour rgb (0xRRGGBB). false when the font cannot be loaded.
bool textDraw(Canvas canvas, const std::string& utf8, int sizeCode, int penX, int top, unsigned rgb);
// The same at a pixel size, the ascent..descent span centred in a box of boxHeight rows.
bool textDrawPx(Canvas canvas, const std::string& utf8, int pixelSize, int penX, int top, int boxHeight,
                unsigned rgb);

}  // namespace sim::detail

#endif  // SIM_TEXT_H
