// The host's screen image: a file in the host's shm/ folder mapped shared by every process of
// the host. Each screen size has its own file ("screen-<w>x<h>.img"), so a mapping never shrinks
// under a process that still uses it. The first mapper (under an exclusive flock) sizes the file,
// writes the header and paints the desktop colour.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/host/helper_library.h"
#include "platform/host/host.h"
#include "platform/win32/gdi.h"
#include "platform/win32/gdi_internal.h"
#include "platform/win32/render_engine.h"

namespace platform::gdi::detail {

namespace {

constexpr char kMagic[8] = {'K', 'I', 'P', 'O', 'S', 'C', 'R', '1'};
constexpr std::size_t kHeader = 64;

struct Header {
  char magic[8];
  std::uint32_t width;
  std::uint32_t height;
};

struct Mapping {
  void* base = MAP_FAILED;
  std::size_t size = 0;
  ~Mapping() {
    if (base != MAP_FAILED) munmap(base, size);
  }
};

struct ScreenCache {
  std::shared_ptr<Surface> surface;
  std::uint64_t epoch = ~0ull;
  SIZE size{0, 0};
};

ScreenCache& cache() {
  static ScreenCache* c = new ScreenCache();
  return *c;
}

void paintDesktop(std::uint32_t* pixels, std::size_t count) {
  std::uint32_t v = desktopPixel();
  for (std::size_t i = 0; i < count; ++i) pixels[i] = v;
}

// A private image when the host's folder cannot hold the shared one: drawing still works, only
// other processes do not see it.
std::shared_ptr<Surface> privateScreen(SIZE s) {
  auto surface = makeSurface(s.cx, s.cy, false);
  paintDesktop(reinterpret_cast<std::uint32_t*>(surface->storage.data()),
               static_cast<std::size_t>(s.cx) * static_cast<std::size_t>(s.cy));
  return surface;
}

std::shared_ptr<Surface> mapScreen(SIZE s) {
  namespace fs = std::filesystem;
  fs::path folder = host::Host::current().folder() / "shm";
  std::error_code ec;
  fs::create_directories(folder, ec);
  fs::path file = folder / ("screen-" + std::to_string(s.cx) + "x" + std::to_string(s.cy) + ".img");
  const std::size_t pixels = static_cast<std::size_t>(s.cx) * static_cast<std::size_t>(s.cy);
  const std::size_t size = kHeader + pixels * 4;
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return privateScreen(s);
  auto mapping = std::make_shared<Mapping>();
  ::flock(fd, LOCK_EX);
  struct stat st{};
  bool fresh = ::fstat(fd, &st) != 0 || static_cast<std::size_t>(st.st_size) != size;
  if (fresh && ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return privateScreen(s);
  }
  mapping->base = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  mapping->size = size;
  if (mapping->base == MAP_FAILED) {
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return privateScreen(s);
  }
  auto* header = static_cast<Header*>(mapping->base);
  auto* first = reinterpret_cast<std::uint32_t*>(static_cast<BYTE*>(mapping->base) + kHeader);
  if (fresh || std::memcmp(header->magic, kMagic, sizeof kMagic) != 0 ||
      header->width != static_cast<std::uint32_t>(s.cx) || header->height != static_cast<std::uint32_t>(s.cy)) {
    paintDesktop(first, pixels);
    header->width = static_cast<std::uint32_t>(s.cx);
    header->height = static_cast<std::uint32_t>(s.cy);
    std::memcpy(header->magic, kMagic, sizeof kMagic);
  }
  ::flock(fd, LOCK_UN);
  ::close(fd);
  auto surface = std::make_shared<Surface>();
  surface->width = s.cx;
  surface->height = s.cy;
  surface->top = reinterpret_cast<BYTE*>(first);
  surface->rowBytes = static_cast<std::ptrdiff_t>(s.cx) * 4;
  surface->keep = mapping;
  return surface;
}

}  // namespace

SIZE screenSizeFromFacts() {
  host::Host& h = host::Host::current();
  long w = h.factNumber(host::fact::ScreenWidth, 1024);
  long ht = h.factNumber(host::fact::ScreenHeight, 768);
  // A damaged fact must not make a huge or empty image.
  if (w < 1 || w > 8192) w = 1024;
  if (ht < 1 || ht > 8192) ht = 768;
  return SIZE{static_cast<LONG>(w), static_cast<LONG>(ht)};
}

std::uint32_t desktopPixel() { return pixelOf(GetSysColor(COLOR_DESKTOP)); }

std::shared_ptr<Surface> screen() {
  ScreenCache& c = cache();
  std::uint64_t epoch = host::Host::epoch();
  SIZE s = screenSizeFromFacts();
  if (!c.surface || c.epoch != epoch || c.size.cx != s.cx || c.size.cy != s.cy) {
    c.surface = mapScreen(s);
    c.epoch = epoch;
    c.size = s;
  }
  return c.surface;
}

std::shared_ptr<Surface> makeSurface(int width, int height, bool mono) {
  auto s = std::make_shared<Surface>();
  s->width = std::max(width, 0);
  s->height = std::max(height, 0);
  s->storage.assign(static_cast<std::size_t>(s->width) * static_cast<std::size_t>(s->height) * 4 + 4, 0);
  s->top = s->storage.data();
  s->rowBytes = static_cast<std::ptrdiff_t>(s->width) * 4;
  s->mono = mono;
  s->bitsPixel = mono ? 1 : 32;
  return s;
}

}  // namespace platform::gdi::detail

namespace platform::gdi {

SIZE screenSize() {
  std::lock_guard g(detail::lock());
  auto s = detail::screen();
  return SIZE{s->width, s->height};
}

COLORREF screenPixel(int x, int y) {
  std::lock_guard g(detail::lock());
  auto s = detail::screen();
  if (x < 0 || y < 0 || x >= s->width || y >= s->height) return CLR_INVALID;
  return detail::colorOf(s->get(x, y));
}

void clearScreen() {
  std::lock_guard g(detail::lock());
  auto s = detail::screen();
  std::uint32_t v = detail::desktopPixel();
  for (int y = 0; y < s->height; ++y)
    for (int x = 0; x < s->width; ++x) s->set(x, y, v);
}

bool writeScreenPng(const std::string& linuxPath, std::string& problem) {
  static platform::helper::Helper<render::Engine> library("libkipo_render.so", "kipoRenderEngine");
  DWORD error = 0;
  const render::Engine* engine = library.get(error);
  if (!engine) {
    problem = "the drawing helper libkipo_render.so cannot be loaded";
    return false;
  }
  std::vector<std::uint32_t> pixels;
  int width = 0, height = 0;
  {
    std::lock_guard g(detail::lock());
    auto s = detail::screen();
    width = s->width;
    height = s->height;
    pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x] = s->get(x, y);
  }
  problem = engine->writePng(linuxPath.c_str(), pixels.data(), width, height);
  return problem.empty();
}

}  // namespace platform::gdi
