#include "xlock/grab_break.h"

#include <X11/XKBlib.h>

#include <algorithm>
#include <cstring>

namespace vellomar::ui {
namespace {

// The private actions of the XFree86 family carry their name in the action's data.
bool BreaksGrabs(const XkbAction& action) {
  if (action.type != XkbSA_XFree86Private) return false;
  const auto* data = reinterpret_cast<const char*>(action.any.data);
  return std::memcmp(data, "Ungrab", 6) == 0 || std::memcmp(data, "ClsGrb", 6) == 0;
}

// Sends the key actions of keys `first` to `last` of `xkb` to the server.
void SendKeyActions(Display* display, XkbDescPtr xkb, int first, int last) {
  XkbMapChangesRec changes{};
  changes.changed = XkbKeyActionsMask;
  changes.first_key_act = static_cast<KeyCode>(first);
  changes.num_key_acts = static_cast<unsigned char>(last - first + 1);
  XkbChangeMap(display, xkb, &changes);
}

}  // namespace

GrabBreakKeys::GrabBreakKeys(Display* display) : display_(display) {
  int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion, event = 0;
  if (XkbQueryExtension(display_, &opcode, &event, &error, &major, &minor)) xkb_event_ = event;
}

GrabBreakKeys::~GrabBreakKeys() {
  Restore();
}

void GrabBreakKeys::Disable() {
  if (disabled_ || xkb_event_ < 0) return;
  disabled_ = true;
  // Told of every new keymap while the lock is up: changed in place (XkbMapNotify) or loaded
  // whole, as setxkbmap does (XkbNewKeyboardNotify).
  XkbSelectEventDetails(display_, XkbUseCoreKbd, XkbMapNotify, XkbAllMapComponentsMask,
                        XkbAllMapComponentsMask);
  XkbSelectEventDetails(display_, XkbUseCoreKbd, XkbNewKeyboardNotify, XkbAllNewKeyboardEventsMask,
                        XkbAllNewKeyboardEventsMask);
  Strip();
}

void GrabBreakKeys::Strip() {
  XkbDescPtr xkb = XkbGetMap(display_, XkbAllClientInfoMask | XkbAllServerInfoMask, XkbUseCoreKbd);
  if (!xkb) return;
  int first = -1, last = -1;
  for (int key = xkb->min_key_code; key <= xkb->max_key_code; ++key) {
    if (!XkbKeyHasActions(xkb, key)) continue;
    XkbAction* actions = XkbKeyActionsPtr(xkb, key);
    for (int i = 0; i < XkbKeyNumActions(xkb, key); ++i) {
      if (!BreaksGrabs(actions[i])) continue;
      Removed removed{static_cast<unsigned>(key), i, {}};
      std::memcpy(removed.action, &actions[i], sizeof removed.action);
      removed_.push_back(removed);
      std::memset(&actions[i], 0, sizeof actions[i]);
      actions[i].type = XkbSA_NoAction;
      if (first < 0) first = key;
      last = key;
    }
  }
  if (first >= 0) {
    SendKeyActions(display_, xkb, first, last);
    XSync(display_, False);
  }
  XkbFreeKeyboard(xkb, 0, True);
}

void GrabBreakKeys::Restore() {
  if (!disabled_) return;
  disabled_ = false;
  XkbSelectEventDetails(display_, XkbUseCoreKbd, XkbMapNotify, XkbAllMapComponentsMask, 0);
  XkbSelectEventDetails(display_, XkbUseCoreKbd, XkbNewKeyboardNotify, XkbAllNewKeyboardEventsMask,
                        0);
  if (removed_.empty()) return;
  XkbDescPtr xkb = XkbGetMap(display_, XkbAllClientInfoMask | XkbAllServerInfoMask, XkbUseCoreKbd);
  if (xkb) {
    int first = -1, last = -1;
    for (const Removed& removed : removed_) {
      const int key = static_cast<int>(removed.keycode);
      if (key < xkb->min_key_code || key > xkb->max_key_code || !XkbKeyHasActions(xkb, key) ||
          removed.index >= XkbKeyNumActions(xkb, key)) {
        continue;
      }
      XkbAction& action = XkbKeyActionsPtr(xkb, key)[removed.index];
      if (action.type != XkbSA_NoAction) continue;  // the keymap has changed since
      std::memcpy(&action, removed.action, sizeof removed.action);
      first = first < 0 ? key : std::min(first, key);
      last = std::max(last, key);
    }
    if (first >= 0) SendKeyActions(display_, xkb, first, last);
    XkbFreeKeyboard(xkb, 0, True);
  }
  removed_.clear();
  XSync(display_, False);
}

// Each removed action as eleven bytes: the keycode (two), its index, the action (eight).
std::string GrabBreakKeys::Saved() const {
  std::string saved;
  for (const Removed& removed : removed_) {
    saved += static_cast<char>(removed.keycode >> 8);
    saved += static_cast<char>(removed.keycode & 0xff);
    saved += static_cast<char>(removed.index);
    saved.append(reinterpret_cast<const char*>(removed.action), sizeof removed.action);
  }
  return saved;
}

void GrabBreakKeys::Adopt(const std::string& saved) {
  constexpr std::size_t kSize = 3 + sizeof(Removed::action);
  for (std::size_t at = 0; at + kSize <= saved.size(); at += kSize) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(saved.data() + at);
    Removed removed{static_cast<unsigned>(bytes[0] << 8 | bytes[1]), bytes[2], {}};
    std::memcpy(removed.action, bytes + 3, sizeof removed.action);
    const bool known = std::any_of(removed_.begin(), removed_.end(), [&](const Removed& r) {
      return r.keycode == removed.keycode && r.index == removed.index;
    });
    if (!known) removed_.push_back(removed);
  }
}

bool GrabBreakKeys::OnEvent(const XEvent& event) {
  if (xkb_event_ < 0 || event.type != xkb_event_) return false;
  const auto& xkb = reinterpret_cast<const XkbEvent&>(event);
  if (xkb.any.xkb_type != XkbMapNotify && xkb.any.xkb_type != XkbNewKeyboardNotify) return false;
  if (disabled_) Strip();
  return true;
}

}  // namespace vellomar::ui
