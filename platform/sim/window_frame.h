/*
 * window_frame.h - the simulator window's widgets (internal to window*.cpp):
 * the LCD panel, the paper panel and the frame that holds them with the
 * keypad, the card reader, the PIN pad answer, the power controls and the
 * modem and WiFi panel (window_bearer.h).
 *
 * Everything here runs on the window's own thread. It reaches the device only
 * through the input queues and short snapshots taken under the device mutex;
 * periodic refreshes only try the mutex, so a busy (or ending) application
 * never stalls the window.
 */
#ifndef SIM_WINDOW_FRAME_H
#define SIM_WINDOW_FRAME_H

#include <wx/wx.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device.h"
#include "window_bearer.h"

namespace sim::detail {

constexpr int kLcdScale = 2;        // each LCD pixel is shown as 2 x 2 host pixels
constexpr int kLcdBezel = 10;       // dark frame round the glass
constexpr int kRefreshMs = 33;      // LCD refresh period (about 30 Hz)
constexpr int kStatusMs = 250;      // status line, PIN pad state and paper refresh period

/* The LCD, scaled up with nearest-neighbour pixels. */
class LcdPanel : public wxPanel {
 public:
  explicit LcdPanel(wxWindow* parent);
  // The LCD holds the keyboard focus when the window opens and when clicked,
  // so the host keyboard types on the terminal.
  bool AcceptsFocus() const override { return true; }
  // Takes the device's frame if it changed (always when force); false when the
  // device was busy and nothing was taken. A held panel keeps its frame.
  bool refreshFromDevice(bool force);
  void hold(bool on) { held_ = on; }
  wxPoint imageOrigin() const { return wxPoint(kLcdBezel, kLcdBezel); }
  const std::vector<unsigned char>& shownRgb() const { return rgb_; }   // 320 x 240 RGB on show
  const std::string& shownListing() const { return listing_; }          // its text model

 private:
  void onPaint(wxPaintEvent&);
  std::vector<unsigned char> rgb_;
  std::string listing_;
  unsigned long long generation_ = 0;
  wxBitmap scaled_;
  bool held_ = false;
};

/* The printed paper strip, scrolled to the newest page. */
class PaperPanel : public wxScrolledWindow {
 public:
  explicit PaperPanel(wxWindow* parent);
  void refreshFromDevice();

 private:
  void onPaint(wxPaintEvent&);
  unsigned long long generation_ = 0;
  wxBitmap strip_;
};

/* The simulator window. */
class SimFrame : public wxFrame {
 public:
  SimFrame();
  LcdPanel* lcd() { return lcd_; }
  wxButton* keypadButton(int code);   // nullptr when the keypad has no such key
  void pressKey(int code);            // what a keypad button or its host key does
  void chooseCard(int index);         // as choosing test card `index` (from 0) in the list does; -1: none
  wxButton* swipeButton() { return swipe_; }
  wxTextCtrl* pinField() { return pin_; }
  wxButton* pinOkButton() { return pinOk_; }
  wxButton* pinCancelButton() { return pinCancel_; }
  BearerBox* bearer() { return bearer_.get(); }

 private:
  wxSizer* buildKeypad(wxWindow* parent);
  wxSizer* buildCardReader(wxWindow* parent);
  wxSizer* buildPinPad(wxWindow* parent);
  wxSizer* buildPower(wxWindow* parent);
  wxSizer* buildPaper(wxWindow* parent);
  void onCharHook(wxKeyEvent& e);
  void onCardChosen(wxCommandEvent&);
  void onSwipe(wxCommandEvent&);
  void onPinOk(wxCommandEvent&);
  void onPinCancel(wxCommandEvent&);
  void onPower(wxCommandEvent&);
  void onRefresh(wxTimerEvent&);
  void onStatus(wxTimerEvent&);
  void updateStatus();

  LcdPanel* lcd_ = nullptr;
  PaperPanel* paper_ = nullptr;
  wxCheckBox* paperOut_ = nullptr;
  std::map<int, wxButton*> keys_;
  wxListBox* cards_ = nullptr;
  wxTextCtrl* track2_ = nullptr;
  wxTextCtrl* track1_ = nullptr;
  wxButton* swipe_ = nullptr;
  wxStaticText* pinState_ = nullptr;
  wxTextCtrl* pin_ = nullptr;
  wxButton* pinOk_ = nullptr;
  wxButton* pinCancel_ = nullptr;
  wxSlider* battery_ = nullptr;
  wxCheckBox* charger_ = nullptr;
  std::unique_ptr<BearerBox> bearer_;
  wxTimer refresh_, status_;
};

}  // namespace sim::detail

#endif  // SIM_WINDOW_FRAME_H
