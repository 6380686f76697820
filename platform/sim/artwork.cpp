/*
 * artwork.cpp - the pictures the application draws, made by the simulator
 * itself when the data folder lacks them: the idle background, the swipe
 * prompt and three button bars (confirm, edit, print).
 *
 * Sections: a small painter (gradients, rounded boxes, discs, thick lines),
 * the pictures, installing them.
 */
#include <sys/stat.h>

#include <cmath>
#include <vector>

#include "device.h"

namespace sim::detail {

/* ---- a small painter ------------------------------------------------------------------------------ */

struct Painter {
  int w, h;
  std::vector<unsigned char> rgb;
  Painter(int width, int height) : w(width), h(height), rgb(static_cast<size_t>(width) * height * 3, 255) {}

  void blendPixel(int x, int y, unsigned c, double a) {
    if (x < 0 || y < 0 || x >= w || y >= h || a <= 0) return;
    if (a > 1) a = 1;
    unsigned char* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
    const double src[3] = {double((c >> 16) & 0xFF), double((c >> 8) & 0xFF), double(c & 0xFF)};
    for (int k = 0; k < 3; ++k) p[k] = static_cast<unsigned char>(std::lround(src[k] * a + p[k] * (1 - a)));
  }

  static unsigned mix(unsigned a, unsigned b, double t) {
    unsigned out = 0;
    for (int shift = 16; shift >= 0; shift -= 8) {
      double ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
      out |= static_cast<unsigned>(std::lround(ca + (cb - ca) * t)) << shift;
    }
    return out;
  }

  void verticalGradient(int y0, int y1, unsigned top, unsigned bottom) {
    for (int y = y0; y < y1; ++y) {
      unsigned c = mix(top, bottom, y1 - y0 > 1 ? double(y - y0) / (y1 - y0 - 1) : 0);
      for (int x = 0; x < w; ++x) blendPixel(x, y, c, 1);
    }
  }

  // Filled box with rounded corners, anti-aliased edges.
  void roundBox(double x0, double y0, double x1, double y1, double radius, unsigned c, double alpha = 1) {
    for (int y = int(y0) - 1; y <= int(y1) + 1; ++y)
      for (int x = int(x0) - 1; x <= int(x1) + 1; ++x) {
        double px = x + 0.5, py = y + 0.5;
        double cx = std::fmin(std::fmax(px, x0 + radius), x1 - radius);
        double cy = std::fmin(std::fmax(py, y0 + radius), y1 - radius);
        double d = std::hypot(px - cx, py - cy) - radius;
        blendPixel(x, y, c, alpha * std::fmin(1.0, std::fmax(0.0, 0.5 - d)));
      }
  }

  void disc(double cx, double cy, double r, unsigned c) {
    for (int y = int(cy - r) - 1; y <= int(cy + r) + 1; ++y)
      for (int x = int(cx - r) - 1; x <= int(cx + r) + 1; ++x) {
        double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy) - r;
        blendPixel(x, y, c, std::fmin(1.0, std::fmax(0.0, 0.5 - d)));
      }
  }

  // Thick segment with round ends.
  void line(double ax, double ay, double bx, double by, double thick, unsigned c) {
    double minX = std::fmin(ax, bx) - thick, maxX = std::fmax(ax, bx) + thick;
    double minY = std::fmin(ay, by) - thick, maxY = std::fmax(ay, by) + thick;
    double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
    for (int y = int(minY); y <= int(maxY); ++y)
      for (int x = int(minX); x <= int(maxX); ++x) {
        double px = x + 0.5, py = y + 0.5;
        double t = len2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / len2 : 0;
        t = std::fmin(1.0, std::fmax(0.0, t));
        double d = std::hypot(px - (ax + t * dx), py - (ay + t * dy)) - thick / 2;
        blendPixel(x, y, c, std::fmin(1.0, std::fmax(0.0, 0.5 - d)));
      }
  }
};

/* ---- the pictures ------------------------------------------------------------------------------------ */

// Idle background: light, with the text bands (y 1-20, 30-60, 160-210) left plain.
static Painter idleBackground() {
  Painter p(320, 240);
  p.verticalGradient(0, 240, 0xF7FAFF, 0xE3ECF7);
  // A card and a terminal outline in the free middle band (y 66-152).
  p.roundBox(92, 74, 196, 140, 8, 0x2F6FB3, 0.85);
  p.roundBox(92, 88, 196, 100, 0, 0x1B2F4A, 0.9);          // magnetic stripe
  p.roundBox(104, 110, 124, 124, 3, 0xE8C35A);             // chip
  p.roundBox(176, 66, 236, 152, 10, 0x5C6B7A);             // terminal body
  p.roundBox(184, 74, 228, 100, 4, 0xCFE7F5);              // its screen
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) p.roundBox(186 + c * 14, 106 + r * 14, 196 + c * 14, 116 + r * 14, 2, 0xE9EEF3);
  p.verticalGradient(216, 240, 0xD2DFEE, 0xB9CCE2);        // footer band below the text rows
  return p;
}

// Swipe prompt: a card passing through a reader slot, with the direction arrow.
static Painter swipePicture() {
  Painter p(320, 240);
  p.verticalGradient(0, 240, 0xFFFFFF, 0xEAF2FB);
  p.roundBox(40, 150, 280, 178, 8, 0x46525E);              // reader body
  p.roundBox(48, 160, 272, 166, 2, 0x1E252C);              // slot
  p.roundBox(70, 50, 230, 150, 10, 0x2F6FB3);              // card, standing in the slot
  p.roundBox(70, 122, 230, 138, 0, 0x1B2F4A);              // stripe at the bottom edge
  p.roundBox(86, 66, 112, 86, 4, 0xE8C35A);
  p.line(60, 200, 260, 200, 6, 0x19A34A);                  // arrow: swipe left to right
  p.line(260, 200, 244, 190, 6, 0x19A34A);
  p.line(260, 200, 244, 210, 6, 0x19A34A);
  return p;
}

static Painter buttonBar(int icon) {
  Painter p(320, 40);
  p.verticalGradient(0, 40, 0xEEF3F9, 0xD3DEEA);
  p.line(0, 0.5, 320, 0.5, 1, 0xA9B8C8);
  double cx = 160, cy = 20;
  switch (icon) {
    case 0:  // confirm: a tick in a green disc
      p.disc(cx, cy, 15, 0x19A34A);
      p.line(cx - 7, cy + 1, cx - 2, cy + 7, 4, 0xFFFFFF);
      p.line(cx - 2, cy + 7, cx + 8, cy - 6, 4, 0xFFFFFF);
      break;
    case 1:  // edit: a pencil
      p.disc(cx, cy, 15, 0x2F6FB3);
      p.line(cx - 8, cy + 8, cx + 6, cy - 6, 6, 0xF2C14E);
      p.line(cx + 6, cy - 6, cx + 9, cy - 9, 6, 0xE57373);
      p.line(cx - 10, cy + 10, cx - 7, cy + 7, 3, 0x3A3A3A);
      break;
    default:  // print: a printer with its paper
      p.disc(cx, cy, 15, 0x5C6B7A);
      p.roundBox(cx - 6, cy - 11, cx + 6, cy - 3, 1, 0xFFFFFF);
      p.roundBox(cx - 10, cy - 4, cx + 10, cy + 5, 2, 0xDDE3EA);
      p.roundBox(cx - 6, cy + 2, cx + 6, cy + 10, 1, 0xFFFFFF);
      p.line(cx - 4, cy + 5, cx + 4, cy + 5, 1, 0x5C6B7A);
      p.line(cx - 4, cy + 8, cx + 2, cy + 8, 1, 0x5C6B7A);
      break;
  }
  return p;
}

/* ---- installing them ---------------------------------------------------------------------------------- */

static bool missing(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) != 0;
}

void installArtwork(const std::string& dir) {
  std::string base = dir.empty() ? "." : dir;
  if (missing(base + "/main.png")) {
    Painter p = idleBackground();
    pngWriteRgb(base + "/main.png", p.rgb.data(), p.w, p.h);
  }
  if (missing(base + "/m_swipe.png")) {
    Painter p = swipePicture();
    pngWriteRgb(base + "/m_swipe.png", p.rgb.data(), p.w, p.h);
  }
  static const char* kBars[3] = {"downOkay.bmp", "downEdit.bmp", "downPrint.bmp"};
  for (int i = 0; i < 3; ++i) {
    std::string path = base + "/" + kBars[i];
    if (!missing(path)) continue;
    Painter p = buttonBar(i);
    bmpWriteRgb(path, p.rgb.data(), p.w, p.h);
  }
}

}  // namespace sim::detail
