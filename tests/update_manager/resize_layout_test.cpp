#include "update_manager/resize_layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The form's four controls as the view anchors them: the list grows with the
// form, the button, the caption and the link follow the bottom edge.
constexpr LayoutSize kStart{591, 315};
constexpr LayoutRect kList{12, 65, 567, 163};
constexpr LayoutRect kButton{12, 238, 140, 26};
constexpr LayoutRect kCaption{180, 232, 231, 31};
constexpr LayoutRect kLink{180, 273, 231, 28};

CResizeLayout FormLayout() {
  CResizeLayout layout;
  layout.Init(kStart, -1, -1, -1, -1);
  layout.Add(1002, kList, false, false, 1, 1, 1.0, 1.0);
  layout.Add(1010, kButton, false, true, 0, 0, 1.0, 1.0);
  layout.Add(1017, kCaption, false, true, 0, 0, 1.0, 1.0);
  layout.Add(1018, kLink, false, true, 0, 0, 1.0, 1.0);
  return layout;
}

LayoutRect Moved(LayoutRect r, int dx, int dy, int dw, int dh) {
  return {r.x + dx, r.y + dy, r.width + dw, r.height + dh};
}

std::vector<CResizeLayout::Placement> Expected(int dw, int dh) {
  return {{1002, Moved(kList, 0, 0, dw, dh)},
          {1010, Moved(kButton, 0, dh, 0, 0)},
          {1017, Moved(kCaption, 0, dh, 0, 0)},
          {1018, Moved(kLink, 0, dh, 0, 0)}};
}

// One layout taken through a run of sizes: every placement depends only on the
// size at Init, so going back restores the start exactly, however often.
TEST(ResizeLayout, FormFollowsSizeWithoutDrift) {
  struct Case {
    const char* what;
    LayoutSize size;
    int dw, dh;
  };
  const Case cases[] = {
      {"100 wider, 50 taller", {691, 365}, 100, 50},
      {"back to the start", {591, 315}, 0, 0},
      {"wider only", {900, 315}, 309, 0},
      {"taller only", {591, 700}, 0, 385},
      {"smaller than the start", {500, 300}, -91, -15},
      {"one pixel steps", {592, 316}, 1, 1},
      {"back again", {591, 315}, 0, 0},
  };
  CResizeLayout layout = FormLayout();
  for (const Case& c : cases) {
    EXPECT_EQ(layout.Resize(c.size), Expected(c.dw, c.dh)) << c.what;
  }
}

// Divisors share the change out with integer division, factors scale the move;
// both cut toward zero, also for a shrinking window.
TEST(ResizeLayout, DivisorsAndFactorsCutTowardZero) {
  struct Case {
    const char* what;
    int divisor;
    double factor;
    LayoutSize size;
    LayoutRect expected;
  };
  const Case cases[] = {
      {"half of an odd growth", 2, 0.5, {107, 207}, {13, 23, 43, 33}},
      {"half of an odd shrink", 2, 0.5, {93, 193}, {6, 16, 37, 27}},
      {"past the origin", 2, 0.5, {75, 175}, {-2, 7, 28, 18}},
      {"a third", 3, 1.0 / 3, {110, 211}, {13, 23, 43, 33}},
      {"no divisor, no factor", 0, 0.0, {150, 250}, {10, 20, 40, 30}},
      {"negative factor moves the other way", 0, -1.0, {104, 200}, {6, 20, 40, 30}},
  };
  for (const Case& c : cases) {
    CResizeLayout layout;
    layout.Init({100, 200}, -1, -1, -1, -1);
    layout.Add(7, {10, 20, 40, 30}, true, c.factor != 0.0 || c.divisor != 0, c.divisor, c.divisor,
               c.factor, c.factor);
    const auto placements = layout.Resize(c.size);
    ASSERT_EQ(placements.size(), 1u) << c.what;
    EXPECT_EQ(placements[0].rect, c.expected) << c.what;
  }
}

TEST(ResizeLayout, MinimumAndMaximumAnswer) {
  struct Case {
    const char* what;
    int minW, minH, maxW, maxH;
    TrackingSizes expected;
  };
  const TrackingSizes untouched{{1, 2}, {3000, 4000}};
  const Case cases[] = {
      {"start size is the minimum, no maximum", -1, -1, -1, -1, {{591, 315}, {3000, 4000}}},
      {"given minimum", 510, 0, -1, -1, {{510, 0}, {3000, 4000}}},
      {"maximum above 0 is answered", -1, -1, 800, 0, {{591, 315}, {800, 4000}}},
      {"both maxima", -1, -1, 800, 600, {{591, 315}, {800, 600}}},
  };
  for (const Case& c : cases) {
    CResizeLayout layout;
    layout.Init(kStart, c.minW, c.minH, c.maxW, c.maxH);
    TrackingSizes sizes = untouched;
    layout.MinMaxAnswer(sizes);
    EXPECT_EQ(sizes.minimum, c.expected.minimum) << c.what;
    EXPECT_EQ(sizes.maximum, c.expected.maximum) << c.what;
  }
}

TEST(ResizeLayout, EmptyLayoutPlacesNothing) {
  CResizeLayout layout;
  layout.Init(kStart, -1, -1, -1, -1);
  EXPECT_TRUE(layout.Resize({800, 600}).empty());
}

}  // namespace
