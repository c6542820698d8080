// The table of the drawing helper "libkipo_render.so" (render_engine.cpp, over FreeType and
// libpng): glyphs of a real font for the text the stand-in draws, and the screen image written
// as a PNG file. Loaded at the first glyph or picture. Not for product code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::gdi::render {

// One glyph as 8-bit coverage, `rows` rows of `width` values; left/top place it against the
// pen position on the baseline (top counts up from the baseline); advance is the pen's step.
struct Glyph {
  int width = 0;
  int rows = 0;
  int left = 0;
  int top = 0;
  int advance = 0;
  std::vector<std::uint8_t> coverage;
};

struct Engine {
  std::uint32_t size;  // sizeof(Engine), checked by the loader
  // Renders character c of the font file at a pixel height; false when the file or the glyph is
  // missing.
  bool (*glyph)(const char* fontFile, char32_t c, int pixelHeight, Glyph& out);
  // Writes width x height pixels (0x00RRGGBB, rows top down) as an 8-bit RGB PNG file; the
  // problem in words, or empty on success.
  std::string (*writePng)(const char* file, const std::uint32_t* pixels, int width, int height);
};

}  // namespace platform::gdi::render

extern "C" const platform::gdi::render::Engine kipoRenderEngine;
