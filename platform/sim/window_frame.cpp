/*
 * window_frame.cpp - the simulator window's widgets: the key table shared by
 * the keypad and the host keyboard, the LCD panel, the paper panel, and the
 * frame with the keypad, card reader, PIN pad answer and power controls.
 *
 * Sections: keys, LCD panel, paper panel, the frame (layout, keyboard, card
 * reader, PIN pad, power, refresh).
 */
#include "window_frame.h"

#include <cstring>
#include <ctime>
#include <mutex>

#include "cardfile.h"
#include "libapi.h"
#include "window.h"

namespace sim::detail {

/* ---- keys ------------------------------------------------------------------------------ */

namespace {

struct KeyDef {
  const char* name;   // as test hooks name it
  const char* label;  // on the button
  int code;           // what the application reads
  int hostKeys[3];    // host keyboard keys that type it (0 = none)
  const char* hint;
};

// Cancel, Clear and Enter carry the terminal's red, yellow and green.
const KeyDef kKeys[] = {
    {"1", "1", '1', {'1', WXK_NUMPAD1, 0}, "key 1"},
    {"2", "2", '2', {'2', WXK_NUMPAD2, 0}, "key 2"},
    {"3", "3", '3', {'3', WXK_NUMPAD3, 0}, "key 3"},
    {"4", "4", '4', {'4', WXK_NUMPAD4, 0}, "key 4"},
    {"5", "5", '5', {'5', WXK_NUMPAD5, 0}, "key 5"},
    {"6", "6", '6', {'6', WXK_NUMPAD6, 0}, "key 6"},
    {"7", "7", '7', {'7', WXK_NUMPAD7, 0}, "key 7"},
    {"8", "8", '8', {'8', WXK_NUMPAD8, 0}, "key 8"},
    {"9", "9", '9', {'9', WXK_NUMPAD9, 0}, "key 9"},
    {"0", "0", '0', {'0', WXK_NUMPAD0, 0}, "key 0"},
    {"CANCEL", "Cancel", DLL_KEY_CANCEL, {WXK_ESCAPE, 0, 0}, "Cancel (Esc)"},
    {"CLEAR", "Clear", DLL_KEY_CLEAR, {WXK_BACK, WXK_DELETE, 0}, "Clear (Backspace, Delete)"},
    {"ENTER", "Enter", DLL_KEY_ENTER, {WXK_RETURN, WXK_NUMPAD_ENTER, 0}, "Enter (Return)"},
    {"UP", "Up", DLL_KEY_UP, {WXK_UP, WXK_NUMPAD_UP, 0}, "Up (arrow up)"},
    {"DOWN", "Down", DLL_KEY_DOWN, {WXK_DOWN, WXK_NUMPAD_DOWN, 0}, "Down (arrow down)"},
    {"MENU", "Menu", DLL_KEY_MENU, {WXK_F2, 'M', 0}, "Menu, key 22 (F2 or M)"},
    {"F7", "F7", DLL_KEY_F7, {WXK_F7, 'R', 0}, "F7, key 7: refresh the idle screen (F7 or R)"},
};

const KeyDef* keyByCode(int code) {
  for (const KeyDef& k : kKeys)
    if (k.code == code) return &k;
  return nullptr;
}

// The keypad's face, row by row; empty names leave a gap.
const char* const kKeypadRows[4][5] = {
    {"1", "2", "3", "CANCEL", "MENU"},
    {"4", "5", "6", "CLEAR", "UP"},
    {"7", "8", "9", "ENTER", "DOWN"},
    {"", "0", "", "", "F7"},
};

}  // namespace

int windowKeyCode(const std::string& name) {
  std::string up;
  for (char c : name) up += static_cast<char>(toupper(static_cast<unsigned char>(c)));
  for (const KeyDef& k : kKeys)
    if (up == k.name) return k.code;
  return -1;
}

int windowKeyForHost(int hostKey) {
  if (hostKey >= 'a' && hostKey <= 'z') hostKey -= 'a' - 'A';
  for (const KeyDef& k : kKeys)
    for (int h : k.hostKeys)
      if (h != 0 && h == hostKey) return k.code;
  return -1;
}

int windowHostKeyFor(int code) {
  const KeyDef* k = keyByCode(code);
  return k ? k->hostKeys[0] : -1;
}

/* ---- LCD panel -------------------------------------------------------------------------- */

constexpr int kLcdW = DLL_LCD_WIDTH, kLcdH = DLL_LCD_HEIGHT;

LcdPanel::LcdPanel(wxWindow* parent)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition,
              wxSize(kLcdW * kLcdScale + 2 * kLcdBezel, kLcdH * kLcdScale + 2 * kLcdBezel)),
      rgb_(static_cast<size_t>(kLcdW) * kLcdH * 3, 0xFF) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetMinSize(GetSize());
  Bind(wxEVT_PAINT, &LcdPanel::onPaint, this);
  Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent& e) {
    SetFocus();
    e.Skip();
  });
}

bool LcdPanel::refreshFromDevice(bool force) {
  if (held_) return true;
  std::unique_lock<std::recursive_mutex> lock(mutex(), std::try_to_lock);
  if (!lock.owns_lock()) return false;
  unsigned long long known = force ? 0 : generation_;
  unsigned long long now = lcdSnapshot(rgb_.data(), rgb_.size(), known);
  if (now == known && scaled_.IsOk()) return true;
  generation_ = now;
  listing_ = lcdListing();
  lock.unlock();

  // Nearest neighbour by hand: every LCD pixel becomes a crisp kLcdScale square.
  wxImage img(kLcdW * kLcdScale, kLcdH * kLcdScale, false);
  unsigned char* out = img.GetData();
  const int outW = kLcdW * kLcdScale;
  for (int y = 0; y < kLcdH; ++y) {
    unsigned char* row = out + static_cast<size_t>(y) * kLcdScale * outW * 3;
    const unsigned char* src = rgb_.data() + static_cast<size_t>(y) * kLcdW * 3;
    for (int x = 0; x < kLcdW; ++x)
      for (int s = 0; s < kLcdScale; ++s) memcpy(row + (static_cast<size_t>(x) * kLcdScale + s) * 3, src + x * 3, 3);
    for (int s = 1; s < kLcdScale; ++s) memcpy(row + static_cast<size_t>(s) * outW * 3, row, static_cast<size_t>(outW) * 3);
  }
  scaled_ = wxBitmap(img, 24);
  Refresh(false);
  return true;
}

void LcdPanel::onPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  dc.SetBackground(wxBrush(wxColour(0x30, 0x30, 0x34)));
  dc.Clear();
  if (scaled_.IsOk()) dc.DrawBitmap(scaled_, imageOrigin().x, imageOrigin().y, false);
}

/* ---- paper panel ------------------------------------------------------------------------- */

PaperPanel::PaperPanel(wxWindow* parent)
    : wxScrolledWindow(parent, wxID_ANY, wxDefaultPosition, wxSize(kPaperWidth + 24, 160), wxVSCROLL) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetScrollRate(0, 10);
  SetVirtualSize(kPaperWidth, 0);
  Bind(wxEVT_PAINT, &PaperPanel::onPaint, this);
}

void PaperPanel::refreshFromDevice() {
  PaperStrip strip;
  printerPaper(&strip, generation_);
  if (strip.generation == generation_) return;
  {
    generation_ = strip.generation;
    if (strip.height > 0 && strip.rgb.size() >= static_cast<size_t>(strip.height) * kPaperWidth * 3) {
      wxImage img(kPaperWidth, strip.height, false);
      memcpy(img.GetData(), strip.rgb.data(), static_cast<size_t>(strip.height) * kPaperWidth * 3);
      strip_ = wxBitmap(img, 24);
    } else {
      strip_ = wxBitmap();
    }
    SetVirtualSize(kPaperWidth, strip.height);
    Scroll(0, strip.height);  // the newest print is at the bottom
  }
  Refresh(false);
}

void PaperPanel::onPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  DoPrepareDC(dc);
  dc.SetBackground(*wxWHITE_BRUSH);
  dc.Clear();
  if (strip_.IsOk()) dc.DrawBitmap(strip_, 0, 0, false);
}

/* ---- the frame --------------------------------------------------------------------------- */

namespace {

// After the test cards (the switch simulator's, or --sim-cards), one whose
// stripe does not read: too short a track 2.
const char* const kDamagedLabel = "damaged stripe (read fails)";
const char* const kDamagedTrack2 = "6037991234";

constexpr size_t kMaxTrack = 127;  // the application's track buffers hold 128 bytes
constexpr size_t kMaxPin = 12;

bool printableTrack(const std::string& t) {
  if (t.size() > kMaxTrack) return false;
  for (char c : t)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return false;
  return true;
}

wxString clockText() {
  long long ms = nowMs();
  time_t secs = static_cast<time_t>(ms / 1000);
  struct tm t;
  gmtime_r(&secs, &t);
  char buf[32];
  strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &t);
  return buf;
}

}  // namespace

SimFrame::SimFrame()
    : wxFrame(nullptr, wxID_ANY, "Terminal simulator") {
  {
    std::lock_guard<std::recursive_mutex> lock(mutex());
    SetTitle("Terminal simulator - " + wxString(dev().serial));
  }
  wxPanel* root = new wxPanel(this);
  wxBoxSizer* columns = new wxBoxSizer(wxHORIZONTAL);

  wxBoxSizer* left = new wxBoxSizer(wxVERTICAL);
  lcd_ = new LcdPanel(root);
  left->Add(lcd_, 0, wxALL, 8);
  left->Add(buildKeypad(root), 0, wxLEFT | wxRIGHT | wxBOTTOM | wxALIGN_CENTER_HORIZONTAL, 8);
  columns->Add(left, 0);

  wxBoxSizer* right = new wxBoxSizer(wxVERTICAL);
  right->Add(buildCardReader(root), 0, wxEXPAND | wxTOP | wxRIGHT, 8);
  right->Add(buildPinPad(root), 0, wxEXPAND | wxTOP | wxRIGHT, 8);
  right->Add(buildPower(root), 0, wxEXPAND | wxTOP | wxRIGHT, 8);
  bearer_ = std::make_unique<BearerBox>(root);
  right->Add(bearer_->sizer(), 0, wxEXPAND | wxTOP | wxRIGHT, 8);
  right->Add(buildPaper(root), 1, wxEXPAND | wxTOP | wxRIGHT | wxBOTTOM, 8);
  columns->Add(right, 1, wxEXPAND);

  root->SetSizer(columns);
  wxBoxSizer* top = new wxBoxSizer(wxVERTICAL);
  top->Add(root, 1, wxEXPAND);
  SetSizer(top);
  CreateStatusBar(3);
  const int widths[3] = {-2, -2, -3};
  SetStatusWidths(3, widths);
  top->SetSizeHints(this);

  Bind(wxEVT_CHAR_HOOK, &SimFrame::onCharHook, this);
  refresh_.Bind(wxEVT_TIMER, &SimFrame::onRefresh, this);
  status_.Bind(wxEVT_TIMER, &SimFrame::onStatus, this);
  lcd_->refreshFromDevice(true);
  updateStatus();
  refresh_.Start(kRefreshMs);
  status_.Start(kStatusMs);
}

wxSizer* SimFrame::buildKeypad(wxWindow* parent) {
  wxGridSizer* grid = new wxGridSizer(4, 5, 4, 4);
  for (const auto& row : kKeypadRows)
    for (const char* name : row) {
      int code = windowKeyCode(name);
      const KeyDef* k = keyByCode(code);
      if (!k) {
        grid->AddSpacer(1);
        continue;
      }
      wxButton* b = new wxButton(parent, wxID_ANY, k->label, wxDefaultPosition, wxSize(96, 34));
      b->SetToolTip(k->hint);
      if (code == DLL_KEY_CANCEL) b->SetForegroundColour(wxColour(0xB0, 0x10, 0x10));
      if (code == DLL_KEY_CLEAR) b->SetForegroundColour(wxColour(0x90, 0x70, 0x00));
      if (code == DLL_KEY_ENTER) b->SetForegroundColour(wxColour(0x10, 0x80, 0x10));
      b->Bind(wxEVT_BUTTON, [this, code](wxCommandEvent&) { pressKey(code); });
      keys_[code] = b;
      grid->Add(b, 0, wxEXPAND);
    }
  return grid;
}

wxSizer* SimFrame::buildCardReader(wxWindow* parent) {
  wxStaticBoxSizer* box = new wxStaticBoxSizer(wxVERTICAL, parent, "Card reader");
  wxWindow* sb = box->GetStaticBox();
  cards_ = new wxListBox(sb, wxID_ANY, wxDefaultPosition, wxSize(-1, 100));
  for (const TestCard& c : windowCards()) cards_->Append(wxString::FromUTF8(testCardLabel(c)));
  cards_->Append(kDamagedLabel);
  cards_->Bind(wxEVT_LISTBOX, &SimFrame::onCardChosen, this);
  box->Add(cards_, 0, wxEXPAND | wxALL, 4);

  wxFlexGridSizer* fields = new wxFlexGridSizer(2, 4, 4);
  fields->AddGrowableCol(1);
  fields->Add(new wxStaticText(sb, wxID_ANY, "Track 2"), 0, wxALIGN_CENTER_VERTICAL);
  track2_ = new wxTextCtrl(sb, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxTE_PROCESS_ENTER);
  track2_->SetMaxLength(kMaxTrack);
  track2_->Bind(wxEVT_TEXT_ENTER, &SimFrame::onSwipe, this);
  fields->Add(track2_, 1, wxEXPAND);
  fields->Add(new wxStaticText(sb, wxID_ANY, "Track 1"), 0, wxALIGN_CENTER_VERTICAL);
  track1_ = new wxTextCtrl(sb, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxTE_PROCESS_ENTER);
  track1_->SetMaxLength(kMaxTrack);
  track1_->SetHint("optional");
  track1_->Bind(wxEVT_TEXT_ENTER, &SimFrame::onSwipe, this);
  fields->Add(track1_, 1, wxEXPAND);
  box->Add(fields, 0, wxEXPAND | wxLEFT | wxRIGHT, 4);

  swipe_ = new wxButton(sb, wxID_ANY, "Swipe");
  swipe_->SetToolTip("Pass the card through the reader; fewer than 16 track-2 characters read as a failed swipe");
  swipe_->Bind(wxEVT_BUTTON, &SimFrame::onSwipe, this);
  box->Add(swipe_, 0, wxALIGN_RIGHT | wxALL, 4);
  return box;
}

wxSizer* SimFrame::buildPinPad(wxWindow* parent) {
  wxStaticBoxSizer* box = new wxStaticBoxSizer(wxVERTICAL, parent, "PIN pad");
  wxWindow* sb = box->GetStaticBox();
  pinState_ = new wxStaticText(sb, wxID_ANY, "idle");
  box->Add(pinState_, 0, wxEXPAND | wxALL, 4);
  wxBoxSizer* row = new wxBoxSizer(wxHORIZONTAL);
  pin_ = new wxTextCtrl(sb, wxID_ANY, "", wxDefaultPosition, wxSize(120, -1), wxTE_PROCESS_ENTER | wxTE_PASSWORD,
                        wxTextValidator(wxFILTER_DIGITS));
  pin_->SetMaxLength(kMaxPin);
  pin_->SetToolTip("The cardholder's PIN for the next PIN request (1 to 12 digits)");
  pin_->Bind(wxEVT_TEXT_ENTER, &SimFrame::onPinOk, this);
  row->Add(pin_, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
  pinOk_ = new wxButton(sb, wxID_ANY, "OK");
  pinOk_->Bind(wxEVT_BUTTON, &SimFrame::onPinOk, this);
  row->Add(pinOk_, 0, wxRIGHT, 4);
  pinCancel_ = new wxButton(sb, wxID_ANY, "Cancel");
  pinCancel_->SetToolTip("The cardholder cancels the next PIN request");
  pinCancel_->Bind(wxEVT_BUTTON, &SimFrame::onPinCancel, this);
  row->Add(pinCancel_, 0);
  box->Add(row, 0, wxEXPAND | wxALL, 4);
  return box;
}

wxSizer* SimFrame::buildPower(wxWindow* parent) {
  wxStaticBoxSizer* box = new wxStaticBoxSizer(wxHORIZONTAL, parent, "Power");
  wxWindow* sb = box->GetStaticBox();
  int level, charger;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex());
    level = dev().battery;
    charger = dev().charger;
  }
  box->Add(new wxStaticText(sb, wxID_ANY, "Battery %"), 0, wxALIGN_CENTER_VERTICAL | wxALL, 4);
  battery_ = new wxSlider(sb, wxID_ANY, level, 0, 100, wxDefaultPosition, wxSize(160, -1), wxSL_HORIZONTAL | wxSL_VALUE_LABEL);
  battery_->Bind(wxEVT_SLIDER, &SimFrame::onPower, this);
  box->Add(battery_, 1, wxALIGN_CENTER_VERTICAL | wxALL, 4);
  charger_ = new wxCheckBox(sb, wxID_ANY, "Charger");
  charger_->SetValue(charger != 0);
  charger_->Bind(wxEVT_CHECKBOX, &SimFrame::onPower, this);
  box->Add(charger_, 0, wxALIGN_CENTER_VERTICAL | wxALL, 4);
  return box;
}

wxSizer* SimFrame::buildPaper(wxWindow* parent) {
  wxStaticBoxSizer* box = new wxStaticBoxSizer(wxVERTICAL, parent, "Printer paper");
  paper_ = new PaperPanel(box->GetStaticBox());
  box->Add(paper_, 1, wxEXPAND | wxALL, 4);
  wxBoxSizer* row = new wxBoxSizer(wxHORIZONTAL);
  paperOut_ = new wxCheckBox(box->GetStaticBox(), wxID_ANY, "Paper out");
  paperOut_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { sim::setPaper(!paperOut_->GetValue()); });
  wxButton* clear = new wxButton(box->GetStaticBox(), wxID_ANY, "Clear paper");
  clear->Bind(wxEVT_BUTTON, [](wxCommandEvent&) { sim::clearPaper(); });
  row->Add(paperOut_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 12);
  row->Add(clear, 0);
  box->Add(row, 0, wxLEFT | wxRIGHT | wxBOTTOM, 4);
  return box;
}

wxButton* SimFrame::keypadButton(int code) {
  auto it = keys_.find(code);
  return it == keys_.end() ? nullptr : it->second;
}

void SimFrame::pressKey(int code) {
  sim::pushKey(code);
  SetStatusText(wxString::Format("key %d", code), 1);
}

// Host keys type terminal keys, except while a field of the side panels has
// the focus: there they edit the field.
void SimFrame::onCharHook(wxKeyEvent& e) {
  wxWindow* focus = wxWindow::FindFocus();
  bool editing = focus && (dynamic_cast<wxTextCtrl*>(focus) || dynamic_cast<wxListBox*>(focus) ||
                           dynamic_cast<wxSlider*>(focus));
  int code = windowKeyForHost(e.GetKeyCode());
  if (editing || e.HasAnyModifiers() || code < 0) {
    e.Skip();
    return;
  }
  pressKey(code);
}

/* card reader */

void SimFrame::onCardChosen(wxCommandEvent&) {
  if (cards_->GetSelection() >= 0) chooseCard(cards_->GetSelection());
}

void SimFrame::chooseCard(int index) {
  if (index < 0 || index >= windowTestCards()) {
    cards_->SetSelection(wxNOT_FOUND);
    track2_->Clear();
    track1_->Clear();
    return;
  }
  if (cards_->GetSelection() != index) cards_->SetSelection(index);
  const std::vector<TestCard>& cards = windowCards();
  track2_->ChangeValue(static_cast<size_t>(index) < cards.size() ? cards[index].track2 : kDamagedTrack2);
  track1_->Clear();
}

int windowTestCards() { return static_cast<int>(windowCards().size()) + 1; }

void SimFrame::onSwipe(wxCommandEvent&) {
  std::string t2 = track2_->GetValue().ToStdString(), t1 = track1_->GetValue().ToStdString();
  if (!printableTrack(t2) || !printableTrack(t1)) {
    SetStatusText("tracks take printable ASCII only (at most 127 characters)", 1);
    return;
  }
  sim::pushSwipe(t2, t1);
  SetStatusText(t2.size() < 16 ? "swiped (reads as a failed swipe)" : "card swiped", 1);
}

/* PIN pad */

void SimFrame::onPinOk(wxCommandEvent&) {
  std::string digits = pin_->GetValue().ToStdString();
  bool ok = !digits.empty() && digits.size() <= kMaxPin;
  for (char c : digits) ok = ok && c >= '0' && c <= '9';
  if (!ok) {
    SetStatusText("a PIN is 1 to 12 digits", 1);
    return;
  }
  sim::pushPinAnswer(digits);
  pin_->Clear();
  SetStatusText("PIN given", 1);
}

void SimFrame::onPinCancel(wxCommandEvent&) {
  sim::pushPinAnswer("cancel");
  pin_->Clear();
  SetStatusText("PIN request cancelled", 1);
}

/* power */

void SimFrame::onPower(wxCommandEvent&) {
  int level = battery_->GetValue(), charger = charger_->GetValue() ? 1 : 0;
  sim::setPower(level, charger);
  noteEvent("power level=" + std::to_string(level) + " charger=" + std::to_string(charger));
}

/* refresh */

void SimFrame::onRefresh(wxTimerEvent&) { lcd_->refreshFromDevice(false); }

void SimFrame::onStatus(wxTimerEvent&) { updateStatus(); }

void SimFrame::updateStatus() {
  std::unique_lock<std::recursive_mutex> lock(mutex(), std::try_to_lock);
  if (!lock.owns_lock()) return;  // the application is busy; try again next time
  Device& d = dev();
  bool asking = d.pinWaiters.load() > 0;
  size_t answers = d.pinAnswers.size(), keys = d.keys.size(), swipes = d.swipes.size();
  int level = d.battery, charger = d.charger;
  lock.unlock();

  SetStatusText(clockText(), 0);
  wxString pin = asking ? "asking for the PIN" : "idle";
  if (answers) pin += wxString::Format(" (%zu answer%s ready)", answers, answers == 1 ? "" : "s");
  if (pinState_->GetLabel() != pin) {
    pinState_->SetLabel(pin);
    pinState_->SetForegroundColour(asking ? wxColour(0xB0, 0x10, 0x10) : GetForegroundColour());
  }
  wxString queued = wxString::Format("battery %d%%%s", level, charger ? ", charging" : "");
  if (keys || swipes) queued += wxString::Format("; waiting: %zu key(s), %zu swipe(s)", keys, swipes);
  SetStatusText(queued, 2);
  // A script may have moved the power controls.
  if (battery_->GetValue() != level) battery_->SetValue(level);
  if (charger_->GetValue() != (charger != 0)) charger_->SetValue(charger != 0);
  paper_->refreshFromDevice();
  // A script's "paper out" / "paper in" shows in the control too.
  if (paperOut_ && paperOut_->GetValue() == sim::paperPresent()) paperOut_->SetValue(!sim::paperPresent());
  bearer_->refresh();
}

}  // namespace sim::detail
