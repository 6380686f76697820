/*
 * screen.h - the thin LCD layer over the platform: the row grid of message
 * lines, the current text style, clearing bands of rows and drawing images.
 *
 * Screen 320 x 240. Row 0 is the title bar at y 0; row r (1 and above) has its
 * top at y = (r - 1) * 34 + 45. Text lines go through mid_lcdDisplay, which
 * puts left-to-right runs in display order (in the caller's buffer) and converts the
 * digits to Persian before drawing.
 */
#ifndef SAFFRON_CORE_SCREEN_H
#define SAFFRON_CORE_SCREEN_H

#include <cstddef>

// The one font every text call names; the platform maps it to its own copy.
constexpr const char *FONT_FILE = "/home/user0/fonts/Vazir-Bold.ttf";

constexpr int LCD_ROW_HEIGHT = 34;  // pixel height of a message row
constexpr int LCD_FIRST_ROW_Y = 45; // top of row 1, under the title bar
constexpr int LCD_LAST_PIXEL_ROW = 241;

// Display flags of a line.
constexpr int DISP_CENTER = 0x40;    // centred
constexpr int DISP_LEFT = 0x100;     // left-aligned (values)
constexpr int DISP_RIGHT = 0x200;    // right-aligned (labels)
constexpr int DISP_NO_REVERSE = 0x80;   // keep left-to-right runs as they are
constexpr int DISP_NO_CONVERT = 0x2000; // draw the text unchanged (no digit conversion)

constexpr unsigned RGB_WHITE = 0xFFFFFF;
constexpr unsigned RGB_BLACK = 0x000000;

// Pixel row of the top of a grid row (row 0 -> 0).
int lcdRowY(int row);

void mid_lcdGetSize(int *width, int *height);
// The platform ignores the name here; kept for the callers that pass one.
int mid_lcdSetFont(const char *fontFile);
// Selects the terminal's font (24 x 24).
int mid_dfb_create_font();
int mid_lcdCls();
int mid_lcdFlip();
int mid_lcdGoto(int row);
// Clears the band under grid row a (see screen.cpp); 1 without effect when b < a.
int mid_lcdClrLine(int a, int b);
// Text style used by the following mid_lcdDisplay calls: size 1..3, colour RGB 0xRRGGBB.
void mid_lcdSetTextStyle(int size, unsigned rgb);
// Draws text on a grid row. Unless DISP_NO_REVERSE is set the digit runs of
// text are reversed in place; the caller's buffer changes.
int mid_lcdDisplay(int x, int row, int flags, char *text);
// Draws an image file of the working directory; -1 when it does not exist.
int mid_lcdDrawPicture2(int x, int y, const char *fileName);
int mid_lcdDrawPicture(int x, int y, const char *fileName);
int mid_lcdDrawRect(int x, int y, int width, int height);

#endif
