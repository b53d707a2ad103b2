#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QString>

#include "history/clip_item.h"
#include "listview/row_layout.h"
#include "platform/geometry.h"
#include "platform/pointer_events.h"
#include "platform/text_measurer.h"

namespace tuckshelf {

enum class TextAlign { left, center };

// What one row of the open list shows and does.
struct RowContent {
  ClipItem item;
  double height = 30;
  int maxLines = 1;  // 0: no limit (the lead row)
  TextAlign align = TextAlign::left;
  double pad = kRowPad;
  OverlayFont font;
  std::function<void()> onSelect;
  std::function<void()> onDelete;
  QString accessibleName;  // what a screen reader reads for the row
};

// What reaches the open list from the keyboard while it holds it; `close`
// also stands for the window system giving the keyboard to another window.
enum class ListKey { up, down, choose, remove, close };
using KeyHandler = std::function<void(ListKey)>;

// The distances from the backdrop's top to the tops of the label, the
// dot and the list stack.
struct TopOffsets {
  double labelTopC = 0;
  double dotTopC = 0;
  double historyTopC = 0;
  friend bool operator==(const TopOffsets&, const TopOffsets&) = default;
};

// A message in the label: white at `whiteAlpha`, slanted by `obliqueness`.
struct LabelText {
  QString text;
  double whiteAlpha = 1.0;
  double obliqueness = 0.0;
};

// Everything the overlay window is made with; built hidden, off screen.
struct OverlaySetup {
  Rect frame;  // global, y-up
  TopOffsets offsets;
  double dotSize = 8;
  double rowSpacing = 3;
  double cornerRadius = 14;
  OverlayFont font;
};

// The overlay: a borderless panel whose backdrop holds a label, the
// unpasted dot and the list stack. Frames are global y-up points; the
// window rounds them to pixels itself.
class OverlayWindow {
 public:
  virtual ~OverlayWindow() = default;

  virtual bool isVisible() const = 0;
  // The frame the window has now, mid-animation included.
  virtual Rect frame() const = 0;
  // Animated: 0.18 s ease-in-ease-out from the current frame. Otherwise
  // at once. Neither waits.
  virtual void setFrame(const Rect& frame, bool animated) = 0;
  // Brings the window in front of the others without activating anything.
  virtual void raise() = 0;
  virtual void setHasShadow(bool on) = 0;
  // Click-through while true: the window then takes no pointer input at all.
  virtual void setClickThrough(bool on) = 0;
  // Parts of the screen (global) where the window never takes input, so
  // that the windows there keep it: the hover bands, which then hold the
  // pointer while the panel grows and shrinks across them.
  virtual void setPassThrough(const std::vector<Rect>& regions) = 0;
  // Receives the pointer's crossings and motion over the window while it
  // takes input.
  virtual void setPointerHandler(PointerHandler handler) = 0;
  virtual void setBackdropBlack(bool black) = 0;

  virtual void setLabelHidden(bool hidden) = 0;
  virtual void setLabelText(const LabelText& text) = 0;
  virtual void setDotHidden(bool hidden) = 0;
  virtual void setStackHidden(bool hidden) = 0;
  virtual void setTopOffsets(const TopOffsets& offsets) = 0;
  // Discards every row and shows these instead, top to bottom. A row whose
  // callback is running stays alive until the callback returns.
  virtual void setRows(std::vector<RowContent> rows) = 0;

  // While true the window holds the keyboard and reports the list's keys;
  // false gives the keyboard back to the window that had it.
  virtual void setTakesKeyboard(bool on) = 0;
  virtual void setKeyHandler(KeyHandler handler) = 0;
  // The row the keys act on, drawn as the pointer's hover is; none: no row.
  virtual void setHighlightedRow(std::optional<std::size_t> row) = 0;
  // What a screen reader reads about the panel beyond its name: the dot.
  virtual void setDescription(const QString& description) = 0;
};

using OverlayFactory = std::function<std::unique_ptr<OverlayWindow>(const OverlaySetup&)>;

}  // namespace tuckshelf
