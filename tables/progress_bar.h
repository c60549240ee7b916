#pragma once

namespace passerelle {

// The state of the window's progress bar, as the import drives it.
class ProgressBar {
 public:
  bool visible() const { return visible_; }
  void setVisible(bool visible) { visible_ = visible; }
  int min() const { return min_; }
  int max() const { return max_; }
  int position() const { return position_; }

  // A maximum below the minimum is refused with a DisplayedError and leaves
  // the range as it was.
  void setRange(int min, int max);
  // Clamped into the range.
  void setPosition(int position);

 private:
  bool visible_ = true;
  int min_ = 0;
  int max_ = 100;
  int position_ = 0;
};

}  // namespace passerelle
