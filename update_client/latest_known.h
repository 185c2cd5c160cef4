#pragma once

// Set once a reply from the update site has been applied (also an empty one);
// the product view implements it and shows the latest versions from then on.
class LatestKnownFlag {
 public:
  virtual ~LatestKnownFlag() = default;
  virtual void SetLatestKnown() = 0;
};
