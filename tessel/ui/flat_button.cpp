// XCMemDC and CFlatButton: flicker-free drawing of the flat buttons.
#include <wx/dcbuffer.h>

#include "tessel_windows.h"

XCMemDC::XCMemDC(wxDC& target, const wxRect& area)
    : target_(target), area_(area), bitmap_(area.width > 0 ? area.width : 1, area.height > 0 ? area.height : 1) {
  mem_.SelectObject(bitmap_);
  mem_.SetDeviceOrigin(-area_.x, -area_.y);
}

XCMemDC::~XCMemDC() {
  mem_.SetDeviceOrigin(0, 0);
  target_.Blit(area_.x, area_.y, area_.width, area_.height, &mem_, 0, 0);
  mem_.SelectObject(wxNullBitmap);
}

CFlatButton::CFlatButton(wxWindow* parent, wxWindowID id, const wxString& caption)
    : wxControl(parent, id, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE | wxWANTS_CHARS) {
  SetLabel(caption);
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Bind(wxEVT_PAINT, &CFlatButton::OnPaint, this);
  Bind(wxEVT_ENTER_WINDOW, &CFlatButton::OnEnter, this);
  Bind(wxEVT_LEAVE_WINDOW, &CFlatButton::OnLeave, this);
  Bind(wxEVT_LEFT_DOWN, &CFlatButton::OnDown, this);
  Bind(wxEVT_LEFT_DCLICK, &CFlatButton::OnDown, this);
  Bind(wxEVT_LEFT_UP, &CFlatButton::OnUp, this);
  Bind(wxEVT_KEY_DOWN, &CFlatButton::OnKey, this);
  Bind(wxEVT_SET_FOCUS, &CFlatButton::OnFocus, this);
  Bind(wxEVT_KILL_FOCUS, &CFlatButton::OnFocus, this);
  // Leaving for another window clears the hover state, as leaving the area does.
  Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) {
    hovered = pressed = false;
    Refresh();
  });
}

void CFlatButton::SetIcon(const wxBitmap& icon, int offset) {
  icon_ = icon;
  iconOffset_ = offset;
  InvalidateBestSize();
  Refresh();
}

void CFlatButton::SetColours(const wxColour& text, const wxColour& normal, const wxColour& hover) {
  text_ = text;
  normal_ = normal;
  hover_ = hover;
  Refresh();
}

wxSize CFlatButton::DoGetBestSize() const {
  int w = 0, h = 0;
  GetTextExtent(wxStripMenuCodes(GetLabel()), &w, &h);
  if (icon_.IsOk()) {
    w += icon_.GetWidth() + iconOffset_;
    h = std::max(h, icon_.GetHeight());
  }
  return wxSize(w + 20, h + 12);
}

void CFlatButton::Render(wxDC& dc, const wxSize& size) {
  const bool enabled = IsEnabled();
  const bool live = enabled && (hovered || pressed);
  dc.SetBrush(wxBrush(live && hovered ? hover_ : normal_));
  dc.SetPen(*wxTRANSPARENT_PEN);
  dc.DrawRectangle(0, 0, size.x, size.y);

  const wxString caption = wxStripMenuCodes(GetLabel());
  int tw = 0, th = 0;
  dc.SetFont(GetFont());
  dc.GetTextExtent(caption, &tw, &th);
  const int iconW = icon_.IsOk() ? icon_.GetWidth() + iconOffset_ : 0;
  int x = (size.x - tw - iconW) / 2;
  const int shift = pressed && enabled ? 1 : 0;  // pressed content sinks by a pixel
  if (icon_.IsOk()) {
    // wx's disabled look only pales the colours; grey first, then pale.
    const wxBitmap icon =
        enabled ? icon_ : wxBitmap(icon_.ConvertToImage().ConvertToGreyscale().ConvertToDisabled());
    dc.DrawBitmap(icon, x + shift, (size.y - icon_.GetHeight()) / 2 + shift, true);
    x += iconW;
  }
  dc.SetTextForeground(enabled ? text_ : wxSystemSettings::GetColour(wxSYS_COLOUR_GRAYTEXT));
  dc.DrawText(caption, x + shift, (size.y - th) / 2 + shift);

  if (live || !flat_) {
    // Raised while hovered, sunken while pressed.
    const wxColour light(255, 255, 255), dark(96, 96, 96);
    const bool sunken = pressed;
    dc.SetPen(wxPen(sunken ? dark : light));
    dc.DrawLine(0, 0, size.x - 1, 0);
    dc.DrawLine(0, 0, 0, size.y - 1);
    dc.SetPen(wxPen(sunken ? light : dark));
    dc.DrawLine(size.x - 1, 0, size.x - 1, size.y);
    dc.DrawLine(0, size.y - 1, size.x, size.y - 1);
  }
  if (enabled && HasFocus()) {
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.SetPen(wxPen(*wxBLACK, 1, wxPENSTYLE_DOT));
    dc.DrawRectangle(3, 3, size.x - 6, size.y - 6);
  }
}

void CFlatButton::OnPaint(wxPaintEvent&) {
  wxPaintDC target(this);
  const wxSize size = GetClientSize();
  XCMemDC mem(target, wxRect(0, 0, size.x, size.y));
  Render(mem.dc(), size);
}

void CFlatButton::OnEnter(wxMouseEvent&) {
  if (!IsEnabled()) return;
  hovered = true;
  Refresh();
}

void CFlatButton::OnLeave(wxMouseEvent&) {
  hovered = false;
  if (!HasCapture()) pressed = false;
  Refresh();
}

void CFlatButton::OnDown(wxMouseEvent&) {
  if (!IsEnabled()) return;
  pressed = true;
  SetFocus();
  if (!HasCapture()) CaptureMouse();
  Refresh();
}

void CFlatButton::OnUp(wxMouseEvent& e) {
  const bool wasPressed = pressed;
  pressed = false;
  if (HasCapture()) ReleaseMouse();
  hovered = GetClientRect().Contains(e.GetPosition());
  Refresh();
  if (wasPressed && hovered && IsEnabled()) Click();
}

void CFlatButton::OnKey(wxKeyEvent& e) {
  const int k = e.GetKeyCode();
  if (IsEnabled() && (k == WXK_SPACE || k == WXK_RETURN || k == WXK_NUMPAD_ENTER)) {
    Click();
  } else {
    e.Skip();
  }
}

void CFlatButton::OnFocus(wxFocusEvent& e) {
  Refresh();
  e.Skip();
}

void CFlatButton::Click() {
  wxCommandEvent ev(wxEVT_BUTTON, GetId());
  ev.SetEventObject(this);
  ProcessWindowEvent(ev);
}
