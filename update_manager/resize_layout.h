#pragma once

#include <vector>

// Keeps a form's controls placed while the form changes size. Every change is
// measured from the sizes at Init, so repeated resizing never drifts. Plain
// arithmetic: the window code reads the sizes and moves the controls, which are
// named here by their control ids.
struct LayoutSize {
  int width = 0;
  int height = 0;
  bool operator==(const LayoutSize&) const = default;
};

struct LayoutRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const LayoutRect&) const = default;
};

// The platform's minimum/maximum tracking-size query, filled in by MinMaxAnswer.
struct TrackingSizes {
  LayoutSize minimum;
  LayoutSize maximum;
};

class CResizeLayout {
 public:
  struct AnchoredControl {
    int control = 0;
    bool moveHorizontally = false;
    bool moveVertically = false;
    int widthDivisor = 0;   // above 0: width grows by width change / divisor
    int heightDivisor = 0;  // above 0: height grows by height change / divisor
    double horizontalFactor = 0.0;
    double verticalFactor = 0.0;
    int startX = 0;
    int startY = 0;
    int startWidth = 0;
    int startHeight = 0;
  };

  struct Placement {
    int control = 0;
    LayoutRect rect;
    bool operator==(const Placement&) const = default;
  };

  // windowSize is the followed window's present outer size. A minimum below 0
  // means "the start size"; a maximum is answered only when above 0.
  void Init(LayoutSize windowSize, int minimumWidth, int minimumHeight, int maximumWidth,
            int maximumHeight);

  // start is the control's present rectangle in the window's client coordinates.
  void Add(int control, LayoutRect start, bool moveHorizontally, bool moveVertically,
           int widthDivisor, int heightDivisor, double horizontalFactor, double verticalFactor);

  // The window now has windowSize: where every control goes, in the order added.
  std::vector<Placement> Resize(LayoutSize windowSize);

  // Sets the minimum always, and each maximum only when it is above 0.
  void MinMaxAnswer(TrackingSizes& sizes) const;

  LayoutSize StartSize() const { return start_; }
  LayoutSize MinimumSize() const { return minimum_; }
  const std::vector<AnchoredControl>& Controls() const { return controls_; }

 private:
  LayoutSize start_;
  LayoutSize current_;
  LayoutSize change_;
  LayoutSize minimum_;
  LayoutSize maximum_{-1, -1};
  std::vector<AnchoredControl> controls_;
};
