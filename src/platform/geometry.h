#pragma once

// Points and rectangles in global screen coordinates: origin at the
// bottom-left of the primary display, x to the right, y upward. The
// pointer on a display's topmost row has y equal to that display's maxY.

namespace tuckshelf {

struct Point {
  double x = 0;
  double y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// (x, y) is the bottom-left corner.
struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  double minX() const { return x; }
  double minY() const { return y; }
  double maxX() const { return x + width; }
  double maxY() const { return y + height; }
  double midX() const { return x + width * 0.5; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// The rule the hover region and the screen choice use: the top edge
// belongs to the rectangle, the bottom edge does not.
inline bool mouseInRect(Point p, const Rect& r) {
  return r.minX() <= p.x && p.x < r.maxX() && r.minY() < p.y && p.y <= r.maxY();
}

// The rule the open panel's frame uses: the top edge does not belong.
inline bool rectContainsPoint(const Rect& r, Point p) {
  return r.minX() <= p.x && p.x < r.maxX() && r.minY() <= p.y && p.y < r.maxY();
}

}  // namespace tuckshelf
