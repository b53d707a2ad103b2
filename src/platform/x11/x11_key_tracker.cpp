#include "platform/x11/x11_key_tracker.h"

#include <algorithm>
#include <limits>

#include <QByteArray>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace tuckshelf {

void X11KeyTracker::setKeymap(xkb_keymap* keymap) {
  roles_.fill(Role::kOther);
  probe_.reset();
  keymap_.reset(keymap ? xkb_keymap_ref(keymap) : nullptr);
  if (!keymap_) return;

  probe_.reset(xkb_state_new(keymap_.get()));
  const xkb_mod_index_t shift = xkb_keymap_mod_get_index(keymap_.get(), XKB_MOD_NAME_SHIFT);
  shiftMask_ = shift == XKB_MOD_INVALID ? 0 : xkb_mod_mask_t{1} << shift;

  // A key is Control or Shift when any of its layouts puts that keysym on
  // the first level: Caps Lock remapped to Control counts too.
  const xkb_keycode_t last = std::min<xkb_keycode_t>(xkb_keymap_max_keycode(keymap_.get()), kKeycodes - 1);
  for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap_.get()); key <= last; ++key) {
    const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(keymap_.get(), key);
    for (xkb_layout_index_t layout = 0; layout < layouts; ++layout) {
      const xkb_keysym_t* syms = nullptr;
      const int count = xkb_keymap_key_get_syms_by_level(keymap_.get(), key, layout, 0, &syms);
      for (int i = 0; i < count; ++i) {
        if (syms[i] == XKB_KEY_Control_L || syms[i] == XKB_KEY_Control_R) roles_[key] = Role::kControl;
        if (syms[i] == XKB_KEY_Shift_L || syms[i] == XKB_KEY_Shift_R) roles_[key] = Role::kShift;
      }
    }
  }
}

KeyDown X11KeyTracker::press(xkb_keycode_t key, bool repeat) {
  KeyDown down;
  down.ctrl = held(Role::kControl);
  down.shift = held(Role::kShift);
  down.shiftedText = characters(key, down.shift);
  down.insert = isInsert(key);
  if (key < kKeycodes) {
    // A repeat says the key is down even when its press came before we
    // started listening; it never adds a second press.
    uint16_t& count = downs_[key];
    if (!repeat && count < std::numeric_limits<uint16_t>::max()) ++count;
    if (repeat && count == 0) count = 1;
  }
  return down;
}

void X11KeyTracker::release(xkb_keycode_t key) {
  if (key < kKeycodes && downs_[key] > 0) --downs_[key];
}

bool X11KeyTracker::held(Role role) const {
  for (std::size_t key = 0; key < kKeycodes; ++key) {
    if (roles_[key] == role && downs_[key] > 0) return true;
  }
  return false;
}

bool X11KeyTracker::isInsert(xkb_keycode_t key) {
  if (!probe_) return false;
  xkb_state_update_mask(probe_.get(), 0, 0, 0, 0, 0, layout_);
  const xkb_keysym_t* syms = nullptr;
  const int count = xkb_state_key_get_syms(probe_.get(), key, &syms);
  for (int i = 0; i < count; ++i)
    if (syms[i] == XKB_KEY_Insert || syms[i] == XKB_KEY_KP_Insert) return true;
  return false;
}

std::optional<QString> X11KeyTracker::characters(xkb_keycode_t key, bool shift) {
  if (!probe_) return std::nullopt;
  xkb_state_update_mask(probe_.get(), shift ? shiftMask_ : 0, 0, 0, 0, 0, layout_);
  const xkb_keysym_t* syms = nullptr;
  const int count = xkb_state_key_get_syms(probe_.get(), key, &syms);
  QByteArray utf8;
  for (int i = 0; i < count; ++i) {
    char buffer[16];
    // The size counts the terminating NUL; 0 means the keysym is no character.
    const int size = xkb_keysym_to_utf8(syms[i], buffer, sizeof buffer);
    if (size > 1) utf8.append(buffer, size - 1);
  }
  if (utf8.isEmpty()) return std::nullopt;
  return QString::fromUtf8(utf8);
}

}  // namespace tuckshelf
