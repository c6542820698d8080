// The drawing helper: FreeType renders glyphs (one library and one face per font file, kept for
// the process), libpng writes pictures. See render_engine.h.
#include "platform/win32/render_engine.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

namespace platform::gdi::render {
namespace {

struct Fonts {
  std::mutex mutex;
  FT_Library library = nullptr;
  bool failed = false;
  std::map<std::string, FT_Face> faces;  // null for a file that did not load
};

Fonts& fonts() {
  static Fonts* f = new Fonts;  // kept to the process's end: faces may be in use at exit
  return *f;
}

bool glyph(const char* fontFile, char32_t c, int pixelHeight, Glyph& out) {
  if (!fontFile || pixelHeight < 1 || pixelHeight > 512) return false;
  Fonts& f = fonts();
  std::lock_guard lock(f.mutex);
  if (!f.library && !f.failed) f.failed = FT_Init_FreeType(&f.library) != 0;
  if (f.failed) return false;
  auto it = f.faces.find(fontFile);
  if (it == f.faces.end()) {
    FT_Face face = nullptr;
    if (FT_New_Face(f.library, fontFile, 0, &face) != 0) face = nullptr;
    it = f.faces.emplace(fontFile, face).first;
  }
  FT_Face face = it->second;
  if (!face) return false;
  if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelHeight)) != 0) return false;
  const FT_UInt index = FT_Get_Char_Index(face, c);
  if (index == 0) return false;
  if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0) return false;
  if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0) return false;
  const FT_Bitmap& b = face->glyph->bitmap;
  if (b.pixel_mode != FT_PIXEL_MODE_GRAY) return false;
  out.width = static_cast<int>(b.width);
  out.rows = static_cast<int>(b.rows);
  out.left = face->glyph->bitmap_left;
  out.top = face->glyph->bitmap_top;
  out.advance = static_cast<int>(face->glyph->advance.x >> 6);
  out.coverage.assign(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.rows), 0);
  for (int y = 0; y < out.rows; ++y)
    for (int x = 0; x < out.width; ++x)
      out.coverage[static_cast<std::size_t>(y * out.width + x)] = b.buffer[y * b.pitch + x];
  return true;
}

std::string writePng(const char* file, const std::uint32_t* pixels, int width, int height) {
  if (!file || !pixels || width < 1 || height < 1) return "nothing to write";
  std::FILE* out = std::fopen(file, "wb");
  if (!out) return std::string("cannot create ") + file;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<png_byte> row(static_cast<std::size_t>(width) * 3);
  std::string problem;
  if (!png || !info) {
    problem = "cannot start the PNG writer";
  } else if (setjmp(png_jmpbuf(png))) {
    problem = "cannot write the PNG file";
  } else {
    png_init_io(png, out);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
      const std::uint32_t* p = pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
      for (int x = 0; x < width; ++x) {
        row[static_cast<std::size_t>(x) * 3] = static_cast<png_byte>(p[x] >> 16);
        row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<png_byte>(p[x] >> 8);
        row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<png_byte>(p[x]);
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  if (std::fclose(out) != 0 && problem.empty()) problem = "cannot finish the PNG file";
  if (!problem.empty()) std::remove(file);
  return problem;
}

}  // namespace
}  // namespace platform::gdi::render

extern "C" const platform::gdi::render::Engine kipoRenderEngine{sizeof(platform::gdi::render::Engine),
                                                               &platform::gdi::render::glyph,
                                                               &platform::gdi::render::writePng};
