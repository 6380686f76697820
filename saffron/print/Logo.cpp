/*
 * Logo.cpp - the logo printed under every receipt, drawn at compile time into
 * the printer's 1-bit format: a crocus flower (three petals, stem and leaf) and
 * a framed band of diamonds. Everything is kept above row 50, because the
 * reversal receipt feeds only 50 rows of it.
 */
#include "print/Printer.h"

#include <algorithm>

namespace {

constexpr int sq(int v) { return v * v; }

// Inside an ellipse with half-axes a (across) and b (along), centred at cx, cy;
// turned by 45 degrees to the left (turn -1), to the right (1), or upright (0).
constexpr bool inPetal(int x, int y, int cx, int cy, int a, int b, int turn) {
  const int dx = x - cx, dy = y - cy;
  if (turn == 0) return sq(dx) * sq(b) + sq(dy) * sq(a) <= sq(a) * sq(b);
  // Rotated coordinates scaled by the square root of two: compare against twice the bound.
  const int along = turn > 0 ? dy - dx : dy + dx;
  const int across = turn > 0 ? dx + dy : dx - dy;
  return sq(across) * sq(b) + sq(along) * sq(a) <= 2 * sq(a) * sq(b);
}

constexpr bool dot(int x, int y) {
  // The flower.
  if (inPetal(x, y, 30, 15, 7, 13, 0)) return !inPetal(x, y, 30, 17, 2, 8, 0);
  if (inPetal(x, y, 19, 22, 6, 12, -1) || inPetal(x, y, 41, 22, 6, 12, 1)) return true;
  if (x >= 29 && x <= 31 && y >= 28 && y <= 48) return true;              // stem
  if (inPetal(x, y, 38, 41, 3, 8, 1)) return true;                          // leaf
  if (y >= 47 && y <= 48 && x >= 14 && x <= 46) return true;                // ground
  // The frame, two dots thick, with cut corners.
  const int left = 62, right = 371, top = 6, bottom = 46;
  if (x < left || x > right || y < top || y > bottom) return false;
  const int corner = 6;
  const int cornerDist = std::min(x - left, right - x) + std::min(y - top, bottom - y);
  if (cornerDist < corner) return cornerDist >= corner - 2;
  if (x - left < 2 || right - x < 2 || y - top < 2 || bottom - y < 2) return true;
  // Inside: a row of diamonds, alternately filled and outlined, on a thin line.
  const int mid = (top + bottom) / 2;
  const int pitch = 28, first = left + 22;
  if (x >= first - 12 && x <= right - 12) {
    const int k = (x - first + pitch / 2) / pitch;
    const int cx = first + k * pitch;
    const int d = (x > cx ? x - cx : cx - x) + (y > mid ? y - mid : mid - y);
    if (d <= 11) return k % 2 == 0 ? true : d >= 9;
  }
  return y == mid;
}

constexpr std::array<unsigned char, LOGO_SIZE> drawLogo() {
  std::array<unsigned char, LOGO_SIZE> logo{};
  logo[0] = 0x01;
  logo[1] = static_cast<unsigned char>(LOGO_WIDTH >> 8);
  logo[2] = static_cast<unsigned char>(LOGO_WIDTH & 0xFF);
  logo[3] = static_cast<unsigned char>(LOGO_HEIGHT >> 8);
  logo[4] = static_cast<unsigned char>(LOGO_HEIGHT & 0xFF);
  for (int y = 0; y < LOGO_HEIGHT; ++y)
    for (int x = 0; x < LOGO_WIDTH; ++x)
      if (dot(x, y)) logo[5 + y * (LOGO_WIDTH / 8) + x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
  return logo;
}

} // namespace

constinit const std::array<unsigned char, LOGO_SIZE> print_logo = drawLogo();
