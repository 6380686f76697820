/*
 * text.cpp - UTF-8 text shaped with HarfBuzz and rasterised with FreeType.
 *
 * Sections: script detection, fonts (one face per size, loaded once), shaping,
 * drawing.
 */
#include "text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb-ft.h>
#include <hb.h>

#include <cstdio>

#include "device.h"

namespace sim::detail {

/* ---- script detection -------------------------------------------------------------------- */

static bool arabicCodePoint(unsigned cp) {
  return (cp >= 0x0600 && cp <= 0x06FF) || (cp >= 0xFB50 && cp <= 0xFDFF) || (cp >= 0xFE70 && cp <= 0xFEFF);
}

bool textHasArabicScript(const std::string& utf8) {
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  size_t n = utf8.size();
  for (size_t i = 0; i < n;) {
    unsigned c = p[i];
    unsigned cp;
    size_t len;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      len = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      len = 4;
    } else {
      ++i;  // stray continuation or invalid lead byte
      continue;
    }
    if (i + len > n) break;
    bool ok = true;
    for (size_t k = 1; k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (!ok) {
      ++i;
      continue;
    }
    if (arabicCodePoint(cp)) return true;
    i += len;
  }
  return false;
}

/* ---- fonts ------------------------------------------------------------------------------------- */

static const int kPixelSizes[4] = {0, 13, 16, 20};   // size codes 1..3 on a 320 x 240 screen
static const int kLineHeights[4] = {0, 22, 28, 34};  // a size-3 line fits the 34-pixel row grid
constexpr int kMinPixels = 4, kMaxPixels = 96;      // faces are made for sizes in this range only

static int clampSize(int sizeCode) { return sizeCode < 1 ? 1 : sizeCode > 3 ? 3 : sizeCode; }
static int clampPixels(int px) { return px < kMinPixels ? kMinPixels : px > kMaxPixels ? kMaxPixels : px; }
int textLineHeight(int sizeCode) { return kLineHeights[clampSize(sizeCode)]; }

// One face per pixel size (the LCD uses three, the printer two more), made on
// first use and kept for the life of the process.
struct Fonts {
  std::string path;
  bool broken = false;  // the font at path could not be loaded
  FT_Library library = nullptr;
  FT_Face faces[kMaxPixels + 1] = {};
  hb_font_t* hb[kMaxPixels + 1] = {};
};

static Fonts& fonts() {
  static Fonts* f = new Fonts();
  return *f;
}

static bool loadFace(int px) {
  Fonts& f = fonts();
  std::string path = fontPath();
  if (path != f.path) {  // the font was switched: forget every face of the old one
    for (int i = 0; i <= kMaxPixels; ++i) {
      if (f.hb[i]) hb_font_destroy(f.hb[i]);
      if (f.faces[i]) FT_Done_Face(f.faces[i]);
      f.hb[i] = nullptr;
      f.faces[i] = nullptr;
    }
    f.path = path;
    f.broken = false;
  }
  if (f.faces[px]) return true;
  if (f.broken) return false;
  if (!f.library && FT_Init_FreeType(&f.library) != 0) {
    f.library = nullptr;
    return false;
  }
  FT_Face face = nullptr;
  if (FT_New_Face(f.library, path.c_str(), 0, &face) != 0) {
    fprintf(stderr, "sim: cannot load the font %s (run scripts/setup, or set SIM_FONT)\n", path.c_str());
    f.broken = true;
    return false;
  }
  FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(px));
  f.faces[px] = face;
  f.hb[px] = hb_ft_font_create_referenced(face);
  hb_ft_font_set_load_flags(f.hb[px], FT_LOAD_DEFAULT);
  return true;
}

/* ---- shaping ------------------------------------------------------------------------------------- */

// A shaped run; glyphs in visual order, left to right, positions in 26.6.
struct Shaped {
  hb_buffer_t* buf = hb_buffer_create();
  ~Shaped() { hb_buffer_destroy(buf); }
  Shaped() = default;
  Shaped(const Shaped&) = delete;
  Shaped& operator=(const Shaped&) = delete;
};

static bool shape(const std::string& utf8, int px, Shaped* out, int* widthPx) {
  if (!loadFace(px)) return false;
  hb_buffer_add_utf8(out->buf, utf8.data(), static_cast<int>(utf8.size()), 0, static_cast<int>(utf8.size()));
  if (textHasArabicScript(utf8)) {
    hb_buffer_set_direction(out->buf, HB_DIRECTION_RTL);
    hb_buffer_set_script(out->buf, HB_SCRIPT_ARABIC);
    hb_buffer_set_language(out->buf, hb_language_from_string("fa", -1));
  } else {
    hb_buffer_guess_segment_properties(out->buf);
    hb_buffer_set_direction(out->buf, HB_DIRECTION_LTR);
  }
  hb_shape(fonts().hb[px], out->buf, nullptr, 0);
  unsigned count = 0;
  hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(out->buf, &count);
  long advance = 0;
  for (unsigned i = 0; i < count; ++i) advance += pos[i].x_advance;
  *widthPx = static_cast<int>((advance + 32) >> 6);
  return true;
}

bool textMeasure(const std::string& utf8, int sizeCode, int* width) {
  return textMeasurePx(utf8, kPixelSizes[clampSize(sizeCode)], width);
}

bool textMeasurePx(const std::string& utf8, int pixelSize, int* width) {
  Shaped shaped;
  return shape(utf8, clampPixels(pixelSize), &shaped, width);
}

/* ---- drawing ---------------------------------------------------------------------------------------- */

static void blend(Canvas c, int x, int y, unsigned rgb, unsigned alpha) {
  if (x < 0 || y < 0 || x >= c.width || y >= c.height || alpha == 0) return;
  unsigned char* p = c.rgb + (static_cast<size_t>(y) * c.width + x) * 3;
  const unsigned src[3] = {(rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF};
  for (int k = 0; k < 3; ++k) p[k] = static_cast<unsigned char>((src[k] * alpha + p[k] * (255 - alpha) + 127) / 255);
}

bool textDraw(Canvas canvas, const std::string& utf8, int sizeCode, int penX, int top, unsigned rgb) {
  int s = clampSize(sizeCode);
  return textDrawPx(canvas, utf8, kPixelSizes[s], penX, top, kLineHeights[s], rgb);
}

bool textDrawPx(Canvas canvas, const std::string& utf8, int pixelSize, int penX, int top, int boxHeight,
                unsigned rgb) {
  int px = clampPixels(pixelSize);
  Shaped shaped;
  int width = 0;
  if (!shape(utf8, px, &shaped, &width)) return false;
  FT_Face face = fonts().faces[px];
  // Centre the font's ascent..descent span in the line box.
  int ascent = static_cast<int>(face->size->metrics.ascender >> 6);
  int descent = static_cast<int>(-face->size->metrics.descender >> 6);
  int baseline = top + (boxHeight - (ascent + descent)) / 2 + ascent;

  unsigned count = 0;
  hb_glyph_info_t* info = hb_buffer_get_glyph_infos(shaped.buf, &count);
  hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(shaped.buf, &count);
  long pen = static_cast<long>(penX) * 64;
  for (unsigned i = 0; i < count; ++i) {
    if (FT_Load_Glyph(face, info[i].codepoint, FT_LOAD_RENDER) == 0) {
      FT_GlyphSlot g = face->glyph;
      const FT_Bitmap& bm = g->bitmap;
      int gx = static_cast<int>((pen + pos[i].x_offset + 32) >> 6) + g->bitmap_left;
      int gy = baseline - static_cast<int>((pos[i].y_offset + 32) >> 6) - g->bitmap_top;
      if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
        for (unsigned r = 0; r < bm.rows; ++r)
          for (unsigned col = 0; col < bm.width; ++col)
            blend(canvas, gx + static_cast<int>(col), gy + static_cast<int>(r), rgb,
                  bm.buffer[static_cast<long>(r) * bm.pitch + col]);
      }
    }
    pen += pos[i].x_advance;
  }
  return true;
}

}  // namespace sim::detail
