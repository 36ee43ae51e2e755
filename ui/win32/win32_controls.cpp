// The controls of a form as Win32 child windows: STATIC labels, EDIT text boxes (ES_PASSWORD for
// masked ones), BUTTON push buttons, check boxes and radio buttons, owner-drawn STATIC pictures.
// Shapes and lines are drawn by the form itself.

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "ui/pictures.h"
#include "ui/win32/win32_runtime.h"

namespace vellomar::ui::win32 {
namespace {

constexpr int kFirstControlId = 100;

bool TakesInput(ControlKind kind) {
  return kind == ControlKind::TextBox || kind == ControlKind::CommandButton ||
         kind == ControlKind::CheckBox || kind == ControlKind::OptionButton;
}

bool HasWindow(ControlKind kind) {
  return kind != ControlKind::Shape && kind != ControlKind::Line;
}

RECT PixelRect(const Control& control) {
  const int x = Pixels(control.rect.left), y = Pixels(control.rect.top);
  return {x, y, x + Pixels(control.rect.width), y + Pixels(control.rect.height)};
}

// Where a control's window goes: its own rectangle, except that a picture that is not stretched
// takes the picture's own size (as an image control sizes itself to its picture), and a label
// inside a frame the form draws stops short of the frame's right edge, so that its text never
// runs over the frame.
RECT WindowRect(const Control& control) {
  RECT place = PixelRect(control);
  if (const auto* image = dynamic_cast<const Image*>(&control); image && !image->stretch) {
    place.right = place.left + kPictureSize;
    place.bottom = place.top + kPictureSize;
    return place;
  }
  if (control.kind() != ControlKind::Label) return place;
  for (const Control* other : control.owner().controls()) {
    if (other->kind() != ControlKind::Shape) continue;
    const RECT frame = PixelRect(*other);
    if (place.left > frame.left && place.left < frame.right && place.top > frame.top &&
        place.top < frame.bottom) {
      place.right = std::min(place.right, frame.right - kFrameClearance);
    }
  }
  return place;
}

std::string WindowText(HWND hwnd) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(hwnd)) + 1, '\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

void Runtime::Build(Form& form, HWND parent) {
  std::vector<Control*> light, windowed;
  for (Control* control : form.controls()) {
    (TakesInput(control->kind()) ? windowed : light).push_back(control);
  }
  // Labels and pictures lie beneath the controls that take input, which follow in tab order;
  // each control is stacked above the ones before it.
  std::stable_sort(windowed.begin(), windowed.end(),
                   [](Control* a, Control* b) { return a->tab_index < b->tab_index; });
  std::vector<Control*> order = light;
  order.insert(order.end(), windowed.begin(), windowed.end());
  int id = kFirstControlId;
  for (Control* control : order) {
    if (!HasWindow(control->kind())) continue;
    HWND hwnd = MakeControl(*control, parent, id++);
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    controls_by_window_[hwnd] = control;
    windows_by_control_[control] = hwnd;
  }
}

HWND Runtime::MakeControl(Control& control, HWND parent, int id) {
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  if (control.Visible()) style |= WS_VISIBLE;
  if (!control.Enabled()) style |= WS_DISABLED;
  DWORD ex_style = 0;
  const char* window_class = "STATIC";
  std::string text = control.Caption();
  switch (control.kind()) {
    case ControlKind::Label:
      style |= SS_LEFT;  // wraps; '&' marks the access key
      break;
    case ControlKind::TextBox: {
      const auto& box = static_cast<const TextBox&>(control);
      window_class = "EDIT";
      style |= WS_TABSTOP | ES_AUTOHSCROLL | (box.password_char != 0 ? ES_PASSWORD : 0);
      ex_style = WS_EX_CLIENTEDGE;
      text = box.Text();
      break;
    }
    case ControlKind::CommandButton:
      window_class = "BUTTON";
      style |=
          WS_TABSTOP | (static_cast<const CommandButton&>(control).is_default ? BS_DEFPUSHBUTTON
                                                                              : BS_PUSHBUTTON);
      break;
    // Not the automatic styles: the Application decides every value.
    case ControlKind::CheckBox:
      window_class = "BUTTON";
      style |= WS_TABSTOP | BS_CHECKBOX | BS_MULTILINE;
      break;
    case ControlKind::OptionButton:
      window_class = "BUTTON";
      style |= WS_TABSTOP | BS_RADIOBUTTON | BS_MULTILINE;
      break;
    case ControlKind::Image:
      style |= SS_OWNERDRAW;
      text.clear();
      break;
    case ControlKind::Shape:
    case ControlKind::Line:
      break;
  }
  const RECT place = WindowRect(control);
  HWND hwnd =
      CreateWindowExA(ex_style, window_class, text.c_str(), style, place.left, place.top,
                      place.right - place.left, place.bottom - place.top, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
  if (hwnd == nullptr) throw std::runtime_error("cannot create the control " + control.name());
  SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(control, text)), FALSE);
  if (const auto* box = dynamic_cast<const TextBox*>(&control)) {
    if (box->password_char != 0) {
      SendMessageA(hwnd, EM_SETPASSWORDCHAR, static_cast<unsigned char>(box->password_char), 0);
    }
    if (box->max_length > 0) SendMessageA(hwnd, EM_LIMITTEXT, box->max_length, 0);
  }
  if (const auto* valued = dynamic_cast<const ValueControl*>(&control)) {
    SendMessageA(hwnd, BM_SETCHECK, valued->Value() != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  // Every control passes through ControlProc first; the class's own procedure is kept in the
  // window's user data, which the system classes leave to the program.
  const LONG_PTR original =
      SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc));
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, original);
  return hwnd;
}

HFONT Runtime::FontFor(const Control& control, const std::string& caption) {
  if (control.kind() != ControlKind::Label) return Font(control.font_size, control.bold);
  // The layouts were drawn for MS Sans Serif; the face the system puts in its place (Wine's,
  // a TrueType one on later Windows) may be wider. A label keeps its rectangle and takes the
  // largest size, down from its own, at which its caption, wrapped as the label wraps it, fits.
  const RECT place = WindowRect(control);
  const int width = place.right - place.left, height = place.bottom - place.top;
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = nullptr;
  HFONT font = nullptr;
  for (int points = control.font_size; points >= kSmallestFitPoints; --points) {
    font = Font(points, control.bold);
    HGDIOBJ previous = SelectObject(dc, font);
    if (old == nullptr) old = previous;
    RECT needed{0, 0, width, 0};
    DrawTextA(dc, caption.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK);
    if (needed.right <= width && needed.bottom <= height) break;
  }
  if (old != nullptr) SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return font;
}

HFONT Runtime::Font(int points, bool bold) {
  HFONT& font = fonts_[{points, bold}];
  if (font == nullptr) {
    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    font = CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
  }
  return font;
}

void Runtime::UpdateControl(Control& control, Property property) {
  if (!HasWindow(control.kind())) {
    RepaintBeneath(control);  // drawn by the form
    return;
  }
  auto it = windows_by_control_.find(&control);
  if (it == windows_by_control_.end()) return;
  HWND hwnd = it->second;
  switch (property) {
    case Property::Caption:
      if (control.kind() == ControlKind::Label) RepaintBeneath(control);
      if (control.kind() != ControlKind::TextBox && control.kind() != ControlKind::Image) {
        SendMessageA(hwnd, WM_SETFONT,
                     reinterpret_cast<WPARAM>(FontFor(control, control.Caption())), FALSE);
        SetWindowTextA(hwnd, control.Caption().c_str());
      }
      break;
    case Property::Text: {
      const std::string& text = static_cast<TextBox&>(control).Text();
      if (WindowText(hwnd) != text) {
        setting_text_ = true;  // its EN_CHANGE is the program's change, not typing
        SetWindowTextA(hwnd, text.c_str());
        setting_text_ = false;
      }
      break;
    }
    case Property::Visible:
      if (control.kind() == ControlKind::Label) RepaintBeneath(control);
      ::ShowWindow(hwnd, control.Visible() ? SW_SHOWNA : SW_HIDE);
      break;
    case Property::Enabled:
      EnableWindow(hwnd, control.Enabled() ? TRUE : FALSE);
      break;
    case Property::Value:
      if (const auto* valued = dynamic_cast<const ValueControl*>(&control)) {
        SendMessageA(hwnd, BM_SETCHECK, valued->Value() != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
      }
      break;
  }
}

// The form's own drawing where `control` lies: its background, and the shapes and lines.
void Runtime::RepaintBeneath(const Control& control) {
  if (FormWindow* window = Find(control.owner())) {
    RECT area = PixelRect(control);
    InflateRect(&area, 1, 1);
    // The form does not clip its controls: those that overlap the area are drawn again after.
    RedrawWindow(window->hwnd, &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  }
}

void Runtime::PaintDecoration(Form& form, HDC dc) {
  HGDIOBJ old_pen = SelectObject(dc, GetStockObject(BLACK_PEN));
  HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  for (const Control* control : form.controls()) {
    if (HasWindow(control->kind()) || !control->Visible()) continue;
    const RECT place = PixelRect(*control);
    if (control->kind() == ControlKind::Shape) {
      Rectangle(dc, place.left, place.top, place.right, place.bottom);
    } else {
      MoveToEx(dc, place.left, place.top, nullptr);
      LineTo(dc, place.right, place.bottom);
    }
  }
  SelectObject(dc, old_brush);
  SelectObject(dc, old_pen);
}

// ---------------------------------------------------------------------------------------------
// Pictures

const std::vector<std::uint32_t>* Runtime::PictureBits(Picture picture) {
  auto found = picture_bits_.find(picture);
  if (found != picture_bits_.end()) return &found->second;
  const std::optional<PixelImage> image = DecodeXpm(PictureXpm(picture));
  if (!image || image->width != kPictureSize || image->height != kPictureSize) return nullptr;
  // 0xAARRGGBB is a DIB's blue, green, red, reserved in memory.
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const std::uint32_t background =
      (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
  std::vector<std::uint32_t> bits = image->argb;
  for (std::uint32_t& pixel : bits) pixel = (pixel >> 24) != 0 ? pixel & 0xFFFFFF : background;
  return &picture_bits_.emplace(picture, std::move(bits)).first->second;
}

HICON Runtime::PictureIcon(Picture picture) {
  auto found = picture_icons_.find(picture);
  if (found != picture_icons_.end()) return found->second;
  HICON icon = nullptr;
  const std::optional<PixelImage> image = DecodeXpm(PictureXpm(picture));
  if (image && image->width == kPictureSize && image->height == kPictureSize) {
    // The AND mask has a bit set where the picture is transparent; rows are whole 16-bit words.
    std::vector<BYTE> mask(kPictureSize * kPictureSize / 8, 0);
    std::vector<std::uint32_t> colour(image->argb.size());
    for (std::size_t i = 0; i < image->argb.size(); ++i) {
      const bool opaque = (image->argb[i] >> 24) != 0;
      colour[i] = opaque ? image->argb[i] : 0;
      if (!opaque) mask[i / 8] |= static_cast<BYTE>(0x80 >> (i % 8));
    }
    icon = CreateIcon(instance_, kPictureSize, kPictureSize, 1, 32, mask.data(),
                      reinterpret_cast<const BYTE*>(colour.data()));
  }
  picture_icons_[picture] = icon;
  return icon;
}

void Runtime::DestroyPictures() {
  for (auto& [picture, icon] : picture_icons_) {
    if (icon != nullptr) DestroyIcon(icon);
  }
  picture_icons_.clear();
  picture_bits_.clear();
}

void Runtime::DrawPicture(const Image& image, const DRAWITEMSTRUCT& item) {
  const RECT& area = item.rcItem;
  FillRect(item.hDC, &area, GetSysColorBrush(COLOR_BTNFACE));
  const std::vector<std::uint32_t>* bits = PictureBits(image.picture);
  if (bits == nullptr) return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = kPictureSize;
  info.bmiHeader.biHeight = -kPictureSize;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  const int width = image.stretch ? area.right - area.left : kPictureSize;
  const int height = image.stretch ? area.bottom - area.top : kPictureSize;
  SetStretchBltMode(item.hDC, COLORONCOLOR);  // the pixel art stays crisp
  StretchDIBits(item.hDC, area.left, area.top, width, height, 0, 0, kPictureSize, kPictureSize,
                bits->data(), &info, DIB_RGB_COLORS, SRCCOPY);
}

// ---------------------------------------------------------------------------------------------
// Input from the controls

LRESULT CALLBACK Runtime::ControlProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Runtime* self = current_;
  if (self == nullptr) {
    const auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    return CallWindowProcA(original, hwnd, message, wparam, lparam);
  }
  return self->OnControlMessage(hwnd, message, wparam, lparam);
}

LRESULT Runtime::OnControlMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  const auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  Control* control = ControlOf(hwnd);
  auto* box = dynamic_cast<TextBox*>(control);
  switch (message) {
    case WM_SETFOCUS:
      if (control != nullptr) {
        if (FormWindow* window = Find(control->owner())) window->last_focus = hwnd;
      }
      break;
    case WM_PASTE:
      // A password box takes typed input only.
      if (box != nullptr && box->password_char != 0) return 0;
      break;
    case WM_LBUTTONUP:
      if (box != nullptr) {
        const LRESULT result = CallWindowProcA(original, hwnd, message, wparam, lparam);
        Deliver([box](Application& app) { app.DeliverClick(*box); });
        return result;
      }
      break;
    default:
      break;
  }
  return CallWindowProcA(original, hwnd, message, wparam, lparam);
}

void Runtime::OnCommand(HWND control_hwnd, int code) {
  Control* control = ControlOf(control_hwnd);
  if (control == nullptr) return;
  if (auto* box = dynamic_cast<TextBox*>(control)) {
    if (code == EN_CHANGE && !setting_text_) {
      std::string typed = WindowText(control_hwnd);
      Deliver([box, typed](Application& app) { app.DeliverTyping(*box, typed); });
    }
    return;
  }
  if (code == BN_CLICKED && Application::CanTakeFocus(*control)) {
    Deliver([control](Application& app) { app.DeliverClick(*control); });
  }
}

// Enter, Escape, Tab and Alt+letter on a form or its controls, before the controls see them:
// the Application decides what Enter, Escape and access keys do; Tab moves the focus in tab
// order.
bool Runtime::HandleKey(const MSG& message) {
  if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return false;
  Form* form = FormOf(GetAncestor(message.hwnd, GA_ROOT));
  if (form == nullptr) return false;
  const WPARAM key = message.wParam;
  const bool alt = message.message == WM_SYSKEYDOWN && (message.lParam & (1L << 29)) != 0;
  if (alt) {
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) {
      const char letter = static_cast<char>(key >= 'A' && key <= 'Z' ? key - 'A' + 'a' : key);
      Deliver([form, letter](Application& app) { app.DeliverAccessKey(*form, letter); });
      return true;  // Alt+letter never reaches anything else
    }
    return false;  // Alt+F4 and the rest go to the system
  }
  switch (key) {
    case VK_RETURN: {
      Control* focused = ControlOf(GetFocus());
      Deliver([form, focused](Application& app) { app.DeliverEnter(*form, focused); });
      return true;
    }
    case VK_ESCAPE:
      Deliver([form](Application& app) { app.DeliverEscape(*form); });
      return true;
    case VK_TAB:
      MoveFocus(*form, GetKeyState(VK_SHIFT) < 0);
      return true;
    default:
      return false;
  }
}

void Runtime::MoveFocus(Form& form, bool backwards) {
  std::vector<Control*> order;
  for (Control* control : form.controls()) {
    if (Application::CanTakeFocus(*control) && windows_by_control_.count(control) != 0) {
      order.push_back(control);
    }
  }
  if (order.empty()) return;
  std::stable_sort(order.begin(), order.end(),
                   [](Control* a, Control* b) { return a->tab_index < b->tab_index; });
  if (backwards) std::reverse(order.begin(), order.end());
  const auto at = std::find(order.begin(), order.end(), ControlOf(GetFocus()));
  Control* next = at == order.end() || at + 1 == order.end() ? order.front() : *(at + 1);
  HWND hwnd = windows_by_control_[next];
  ::SetFocus(hwnd);
  // As in a dialog, a text box reached by Tab has its text selected.
  if (next->kind() == ControlKind::TextBox) SendMessageA(hwnd, EM_SETSEL, 0, -1);
}

}  // namespace vellomar::ui::win32
