#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include <QString>
#include <xkbcommon/xkbcommon.h>

#include "platform/input_monitors.h"

namespace tuckshelf {

// Turns a raw key stream into KeyDowns. Raw XInput events carry no modifier
// state, and asking the server at handling time races fast typing, so the
// Control and Shift keys are followed here from the presses and releases
// themselves: a count per keycode, so that the same key held on two keyboards
// stays down until both let go, clamped at zero so that a release we never
// saw the press of (or a repeated release) does no harm.
class X11KeyTracker {
 public:
  X11KeyTracker() = default;
  X11KeyTracker(const X11KeyTracker&) = delete;
  X11KeyTracker& operator=(const X11KeyTracker&) = delete;

  // Takes its own reference. Without a keymap no key has characters or acts
  // as a modifier. Keys already down stay down across a keymap change.
  void setKeymap(xkb_keymap* keymap);
  // The effective XKB group (layout) the characters come from; the keymap
  // wraps an index it does not have.
  void setLayout(xkb_layout_index_t layout) { layout_ = layout; }

  // The key-down of a press, read with the modifiers held before it. A
  // repeat is an auto-repeat of a key already down.
  KeyDown press(xkb_keycode_t key, bool repeat);
  void release(xkb_keycode_t key);

 private:
  enum class Role : uint8_t { kOther, kControl, kShift };
  bool held(Role role) const;
  std::optional<QString> characters(xkb_keycode_t key, bool shift);
  bool isInsert(xkb_keycode_t key);

  struct KeymapUnref {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
  };
  struct StateUnref {
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
  };

  // X keycodes run from 8 to 255.
  static constexpr std::size_t kKeycodes = 256;

  std::unique_ptr<xkb_keymap, KeymapUnref> keymap_;
  // A state holding nothing but Shift and the layout, so that the key's type
  // picks the level exactly as it would with Shift alone.
  std::unique_ptr<xkb_state, StateUnref> probe_;
  xkb_mod_mask_t shiftMask_ = 0;
  xkb_layout_index_t layout_ = 0;
  std::array<Role, kKeycodes> roles_{};
  std::array<uint16_t, kKeycodes> downs_{};
};

}  // namespace tuckshelf
