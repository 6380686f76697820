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

static int clampSize(int sizeCode) { return sizeCode < 1 ? 1 : sizeCode > 3 ? 3 : sizeCode; }
int textLineHeight(int sizeCode) { return kLineHeights[clampSize(sizeCode)]; }

struct Fonts {
  bool tried = false;
  std::string path;
  FT_Library library = nullptr;
  FT_Face faces[4] = {};
  hb_font_t* hb[4] = {};
};

// Kept for the life of the process (reachable, never torn down mid-run).
static Fonts& fonts() {
  static Fonts* f = new Fonts();
  return *f;
}

static bool loadFonts() {
  Fonts& f = fonts();
  std::string path = fontPath();
  if (f.tried && f.path == path) return f.faces[1] != nullptr;
  for (int i = 1; i <= 3; ++i) {
    if (f.hb[i]) hb_font_destroy(f.hb[i]);
    if (f.faces[i]) FT_Done_Face(f.faces[i]);
    f.hb[i] = nullptr;
    f.faces[i] = nullptr;
  }
  f.tried = true;
  f.path = path;
  if (!f.library && FT_Init_FreeType(&f.library) != 0) {
    f.library = nullptr;
    return false;
  }
  for (int i = 1; i <= 3; ++i) {
    FT_Face face = nullptr;
    if (FT_New_Face(f.library, path.c_str(), 0, &face) != 0) {
      fprintf(stderr, "sim: cannot load the font %s (run scripts/setup, or set SIM_FONT)\n", path.c_str());
      for (int k = 1; k < i; ++k) {
        hb_font_destroy(f.hb[k]);
        FT_Done_Face(f.faces[k]);
        f.hb[k] = nullptr;
        f.faces[k] = nullptr;
      }
      return false;
    }
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(kPixelSizes[i]));
    f.faces[i] = face;
    f.hb[i] = hb_ft_font_create_referenced(face);
    hb_ft_font_set_load_flags(f.hb[i], FT_LOAD_DEFAULT);
  }
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

static bool shape(const std::string& utf8, int sizeCode, Shaped* out, int* widthPx) {
  if (!loadFonts()) return false;
  int s = clampSize(sizeCode);
  hb_buffer_add_utf8(out->buf, utf8.data(), static_cast<int>(utf8.size()), 0, static_cast<int>(utf8.size()));
  if (textHasArabicScript(utf8)) {
    hb_buffer_set_direction(out->buf, HB_DIRECTION_RTL);
    hb_buffer_set_script(out->buf, HB_SCRIPT_ARABIC);
    hb_buffer_set_language(out->buf, hb_language_from_string("fa", -1));
  } else {
    hb_buffer_guess_segment_properties(out->buf);
    hb_buffer_set_direction(out->buf, HB_DIRECTION_LTR);
  }
  hb_shape(fonts().hb[s], out->buf, nullptr, 0);
  unsigned count = 0;
  hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(out->buf, &count);
  long advance = 0;
  for (unsigned i = 0; i < count; ++i) advance += pos[i].x_advance;
  *widthPx = static_cast<int>((advance + 32) >> 6);
  return true;
}

bool textMeasure(const std::string& utf8, int sizeCode, int* width) {
  Shaped shaped;
  return shape(utf8, sizeCode, &shaped, width);
}

/* ---- drawing ---------------------------------------------------------------------------------------- */

static void blend(Canvas c, int x, int y, unsigned rgb, unsigned alpha) {
  if (x < 0 || y < 0 || x >= c.width || y >= c.height || alpha == 0) return;
  unsigned char* p = c.rgb + (static_cast<size_t>(y) * c.width + x) * 3;
  const unsigned src[3] = {(rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF};
  for (int k = 0; k < 3; ++k) p[k] = static_cast<unsigned char>((src[k] * alpha + p[k] * (255 - alpha) + 127) / 255);
}

bool textDraw(Canvas canvas, const std::string& utf8, int sizeCode, int penX, int top, unsigned rgb) {
  Shaped shaped;
  int width = 0;
  if (!shape(utf8, sizeCode, &shaped, &width)) return false;
  int s = clampSize(sizeCode);
  FT_Face face = fonts().faces[s];
  // Centre the font's ascent..descent span in the line box.
  int ascent = static_cast<int>(face->size->metrics.ascender >> 6);
  int descent = static_cast<int>(-face->size->metrics.descender >> 6);
  int baseline = top + (kLineHeights[s] - (ascent + descent)) / 2 + ascent;

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
