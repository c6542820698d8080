// Polygon regions: the pixels each fill mode keeps, what the other region calls make of them, and
// the arguments CreatePolygonRgn refuses.
#include <gtest/gtest.h>

#include <vector>

#include "platform/win32/error.h"
#include "platform/win32/window.h"

namespace {

struct Probe {
  POINT at;
  bool inside;
};

struct PolygonCase {
  const char* rule;
  std::vector<POINT> points;
  int mode;
  int kind;
  std::vector<Probe> probes;
};

// A five-pointed star drawn in one stroke: its inner pentagon is wound round twice.
const std::vector<POINT> kStar = {{50, 0}, {79, 90}, {2, 35}, {98, 35}, {21, 90}};
// Two overlapping squares drawn in the same direction, joined through a corner.
const std::vector<POINT> kTwoSquares = {{0, 0},   {20, 0},  {20, 20}, {0, 20},  {0, 0},
                                        {10, 10}, {30, 10}, {30, 30}, {10, 30}, {10, 10}};

TEST(PolygonRegions, FillModesDecideWhichPixelsAreInside) {
  const PolygonCase cases[] = {
      {"a traced rectangle leaves out its right and bottom edges", {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, WINDING,
       SIMPLEREGION, {{{0, 0}, true}, {{9, 9}, true}, {{10, 5}, false}, {{5, 10}, false}, {{-1, 5}, false}}},
      {"the same in alternate mode", {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, ALTERNATE, SIMPLEREGION,
       {{{9, 9}, true}, {{10, 9}, false}}},
      {"a trapezoid narrowing downwards cuts its lower corners",
       {{0, 20}, {10, 30}, {90, 30}, {100, 20}}, WINDING, COMPLEXREGION,
       {{{50, 20}, true}, {{50, 29}, true}, {{1, 28}, false}, {{98, 28}, false}, {{50, 30}, false}, {{50, 19}, false}}},
      {"winding fills the star's centre", kStar, WINDING, COMPLEXREGION,
       {{{50, 50}, true}, {{50, 5}, true}, {{10, 37}, true}, {{50, 85}, false}}},
      {"alternate leaves the star's centre out", kStar, ALTERNATE, COMPLEXREGION,
       {{{50, 50}, false}, {{50, 5}, true}, {{10, 37}, true}, {{50, 85}, false}}},
      {"winding keeps the overlap of two squares", kTwoSquares, WINDING, COMPLEXREGION,
       {{{15, 15}, true}, {{5, 5}, true}, {{25, 25}, true}, {{25, 5}, false}}},
      {"alternate cuts the overlap out", kTwoSquares, ALTERNATE, COMPLEXREGION,
       {{{15, 15}, false}, {{5, 5}, true}, {{25, 25}, true}, {{25, 5}, false}}},
      {"two points enclose nothing", {{0, 0}, {10, 10}}, WINDING, NULLREGION, {{{5, 5}, false}}},
      {"a flat polygon encloses nothing", {{0, 5}, {10, 5}, {20, 5}}, ALTERNATE, NULLREGION, {{{5, 5}, false}}},
  };
  for (const auto& c : cases) {
    HRGN r = CreatePolygonRgn(c.points.data(), static_cast<int>(c.points.size()), c.mode);
    ASSERT_NE(r, nullptr) << c.rule;
    RECT box{-7, -7, -7, -7};
    EXPECT_EQ(GetRgnBox(r, &box), c.kind) << c.rule;
    for (const Probe& p : c.probes)
      EXPECT_EQ(PtInRegion(r, p.at.x, p.at.y) != FALSE, p.inside) << c.rule << " at " << p.at.x << "," << p.at.y;
    EXPECT_TRUE(DeleteObject(r)) << c.rule;
  }
}

TEST(PolygonRegions, ATracedRectangleEqualsTheRectangleRegion) {
  const POINT clockwise[] = {{3, 4}, {13, 4}, {13, 9}, {3, 9}};
  const POINT counter[] = {{3, 4}, {3, 9}, {13, 9}, {13, 4}};
  HRGN rect = CreateRectRgn(3, 4, 13, 9);
  for (const POINT* pts : {clockwise, counter})
    for (int mode : {ALTERNATE, WINDING}) {
      HRGN r = CreatePolygonRgn(pts, 4, mode);
      EXPECT_TRUE(EqualRgn(r, rect)) << mode;
      DeleteObject(r);
    }
  DeleteObject(rect);
}

// A tab under a panel, joined into one window shape: box, union and offset work on polygons.
TEST(PolygonRegions, OtherRegionCallsTakePolygons) {
  const POINT tab[] = {{20, 50}, {30, 60}, {70, 60}, {80, 50}};
  HRGN tabRgn = CreatePolygonRgn(tab, 4, WINDING);
  HRGN panel = CreateRectRgn(0, 0, 100, 50);
  HRGN shape = CreateRectRgn(0, 0, 0, 0);
  RECT box{};
  ASSERT_EQ(GetRgnBox(tabRgn, &box), COMPLEXREGION);
  EXPECT_EQ(box.top, 50);
  EXPECT_EQ(box.bottom, 60);
  EXPECT_GE(box.left, 20);
  EXPECT_LE(box.right, 80);
  EXPECT_EQ(CombineRgn(shape, panel, tabRgn, RGN_OR), COMPLEXREGION);
  EXPECT_TRUE(PtInRegion(shape, 5, 5));
  EXPECT_TRUE(PtInRegion(shape, 50, 55));
  EXPECT_FALSE(PtInRegion(shape, 5, 55));
  EXPECT_EQ(CombineRgn(shape, shape, panel, RGN_DIFF), COMPLEXREGION);
  HRGN copy = CreateRectRgn(0, 0, 0, 0);
  CombineRgn(copy, tabRgn, nullptr, RGN_COPY);
  EXPECT_TRUE(EqualRgn(shape, copy)) << "the union less the panel is the tab again";
  EXPECT_EQ(OffsetRgn(tabRgn, 0, -50), COMPLEXREGION);
  EXPECT_TRUE(PtInRegion(tabRgn, 50, 5));
  for (HRGN r : {tabRgn, panel, shape, copy}) DeleteObject(r);
}

TEST(PolygonRegions, RefusedArgumentsLeaveNoRegion) {
  const POINT three[] = {{0, 0}, {10, 0}, {0, 10}};
  const POINT tall[] = {{0, 0}, {10, 0}, {0, 100000}};
  struct Case {
    const char* rule;
    const POINT* points;
    int count;
    int mode;
    DWORD error;
  } cases[] = {
      {"no points", nullptr, 3, WINDING, ERROR_INVALID_PARAMETER},
      {"one point", three, 1, WINDING, ERROR_INVALID_PARAMETER},
      {"a negative count", three, -3, ALTERNATE, ERROR_INVALID_PARAMETER},
      {"fill mode 0", three, 3, 0, ERROR_INVALID_PARAMETER},
      {"fill mode 3", three, 3, 3, ERROR_INVALID_PARAMETER},
      {"taller than the stand-in scans", tall, 3, WINDING, ERROR_NOT_ENOUGH_MEMORY},
  };
  for (const auto& c : cases) {
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CreatePolygonRgn(c.points, c.count, c.mode), nullptr) << c.rule;
    EXPECT_EQ(GetLastError(), c.error) << c.rule;
  }
}

}  // namespace
