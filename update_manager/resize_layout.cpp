#include "update_manager/resize_layout.h"

void CResizeLayout::Init(LayoutSize windowSize, int minimumWidth, int minimumHeight,
                         int maximumWidth, int maximumHeight) {
  start_ = windowSize;
  minimum_.width = minimumWidth < 0 ? start_.width : minimumWidth;
  minimum_.height = minimumHeight < 0 ? start_.height : minimumHeight;
  maximum_ = {maximumWidth, maximumHeight};
}

void CResizeLayout::Add(int control, LayoutRect start, bool moveHorizontally, bool moveVertically,
                        int widthDivisor, int heightDivisor, double horizontalFactor,
                        double verticalFactor) {
  controls_.push_back({control, moveHorizontally, moveVertically, widthDivisor, heightDivisor,
                       horizontalFactor, verticalFactor, start.x, start.y, start.width,
                       start.height});
}

std::vector<CResizeLayout::Placement> CResizeLayout::Resize(LayoutSize windowSize) {
  current_ = windowSize;
  change_ = {current_.width - start_.width, current_.height - start_.height};
  std::vector<Placement> placements;
  placements.reserve(controls_.size());
  for (const AnchoredControl& c : controls_) {
    LayoutRect r{c.startX, c.startY, c.startWidth, c.startHeight};
    // The casts cut toward zero, as the placement rule asks.
    if (c.moveHorizontally) r.x = static_cast<int>(change_.width * c.horizontalFactor + c.startX);
    if (c.moveVertically) r.y = static_cast<int>(change_.height * c.verticalFactor + c.startY);
    if (c.widthDivisor > 0) r.width += change_.width / c.widthDivisor;
    if (c.heightDivisor > 0) r.height += change_.height / c.heightDivisor;
    placements.push_back({c.control, r});
  }
  return placements;
}

void CResizeLayout::MinMaxAnswer(TrackingSizes& sizes) const {
  sizes.minimum = minimum_;
  if (maximum_.width > 0) sizes.maximum.width = maximum_.width;
  if (maximum_.height > 0) sizes.maximum.height = maximum_.height;
}
