// tessel's windows: the main dialog with its "Firmware" and "Comm set"
// pages, the question dialog, the About box and the flat button.
//
// wxWidgets stands in for the dialog framework the tool was first written
// on; the class names are the tool's own. Sections: drawing helpers
// (XCMemDC, CFlatButton), the small dialogs (CTRAXSelect, CAboutDlg), the
// pages, the main dialog, the application.
#ifndef TESSEL_UI_TESSEL_WINDOWS_H
#define TESSEL_UI_TESSEL_WINDOWS_H

#include <wx/wx.h>
#include <wx/gauge.h>
#include <wx/notebook.h>

#include <functional>
#include <string>

#include "download.h"
#include "settings.h"

// ---- Drawing ----------------------------------------------------------------

// Off-screen drawing: hands out a memory DC the size of the area and, when
// it goes out of scope, copies the bitmap to the target in one blit.
class XCMemDC {
 public:
  XCMemDC(wxDC& target, const wxRect& area);
  ~XCMemDC();
  XCMemDC(const XCMemDC&) = delete;
  XCMemDC& operator=(const XCMemDC&) = delete;
  wxDC& dc() { return mem_; }

 private:
  wxDC& target_;
  wxRect area_;
  wxBitmap bitmap_;
  wxMemoryDC mem_;
};

constexpr unsigned long kFlatButtonFace = 0xC8C8C8;  // the pages' normal and hover background

// A flat push button with an icon and a caption. It draws a frame only while
// the pointer is over it or it is pressed, a focus rectangle when focused,
// and its icon greyed when disabled (then no frame, whatever the pointer does).
class CFlatButton : public wxControl {
 public:
  CFlatButton(wxWindow* parent, wxWindowID id, const wxString& caption);
  void SetIcon(const wxBitmap& icon, int offset = 4);
  void SetColours(const wxColour& text, const wxColour& normal, const wxColour& hover);
  void SetFlat(bool flat) { flat_ = flat; }
  // Paints the button as it stands into any DC (the paint handler and tests use it).
  void Render(wxDC& dc, const wxSize& size);

  bool hovered = false;  // the pointer is over the button
  bool pressed = false;  // the left button went down on it and is still down

 protected:
  wxSize DoGetBestSize() const override;
  bool AcceptsFocus() const override { return IsEnabled(); }

 private:
  void OnPaint(wxPaintEvent&);
  void OnEnter(wxMouseEvent&);
  void OnLeave(wxMouseEvent&);
  void OnDown(wxMouseEvent&);
  void OnUp(wxMouseEvent&);
  void OnKey(wxKeyEvent&);
  void OnFocus(wxFocusEvent&);
  void Click();

  wxBitmap icon_;
  int iconOffset_ = 4;
  wxColour text_{*wxBLACK};
  wxColour normal_{wxColour(kFlatButtonFace)};
  wxColour hover_{wxColour(kFlatButtonFace)};
  bool flat_ = true;
};

// ---- Small dialogs ----------------------------------------------------------

// Modes of the question dialog; the caller sets traxSelectMode just before
// showing it. This program uses the top-speed question only.
constexpr int kTraxModeSpeedQuestion = 3;
extern int traxSelectMode;
extern int traxSelectAnswer;  // OK in the question mode stores 0 here

class CTRAXSelect : public wxDialog {
 public:
  explicit CTRAXSelect(wxWindow* parent);
  wxChoice* list;
  wxStaticText* prompt;
  wxStaticText* question;
  wxTextCtrl* edit;

 private:
  void OnOK(wxCommandEvent&);
};

class CAboutDlg : public wxDialog {
 public:
  explicit CAboutDlg(wxWindow* parent);
};

// Modal boxes of the pages go through here; tests replace the hook to read
// the text instead of answering a box.
using TesselBoxHook = std::function<void(wxWindow* owner, const wxString& text, const wxString& title)>;
void setTesselBoxHook(TesselBoxHook hook);
void tesselBox(wxWindow* owner, const wxString& text, const wxString& title = "tessel");

// ---- Pages ------------------------------------------------------------------

class CPageFirmware : public wxPanel, public DownloadSink {
 public:
  explicit CPageFirmware(wxWindow* parent);
  ~CPageFirmware() override;
  void LoadFrom(const TesselSettings& rec);   // paths and ticks from the record
  void CollectInto(TesselSettings* rec) const;

  // DownloadSink: called on the worker thread, handed to the UI thread.
  void status(const char* text) override;
  void box(const char* text) override;
  void progress(int percent) override;
  void running(bool busy) override;

  void OnStart(wxCommandEvent&);
  void OnStop(wxCommandEvent&);

  wxCheckBox* bootTick;
  wxTextCtrl* bootPath;
  CFlatButton* bootBrowse;
  wxCheckBox* appTick;
  wxTextCtrl* appPath;
  CFlatButton* appBrowse;
  CFlatButton* startButton;
  CFlatButton* stopButton;
  wxStaticText* statusLine;
  wxGauge* progressBar;

 private:
  void OnTick(wxCommandEvent&);
  void OnBrowseBoot(wxCommandEvent&);
  void OnBrowseApp(wxCommandEvent&);
};

class CPageCommSet : public wxPanel {
 public:
  explicit CPageCommSet(wxWindow* parent);
  void LoadFrom(const TesselSettings& rec);
  void CollectInto(TesselSettings* rec) const;
  void OnSpeed(wxCommandEvent&);

  wxChoice* portList;
  wxChoice* speedList;
  wxRadioButton* serialRadio;
  wxRadioButton* usbRadio;

 private:
  void OnPort(wxCommandEvent&);
  void OnTransport(wxCommandEvent&);
  int lastSpeed_ = 0;
};

// ---- Main dialog ------------------------------------------------------------

class CTesselDlg : public wxDialog {
 public:
  // Loads (or creates) <startDir>/config.qcf into the process-wide record.
  explicit CTesselDlg(const wxString& startDir, wxWindow* parent = nullptr);
  ~CTesselDlg() override;

  // "collect": the pages' current values into the record; then save it.
  void CollectSettings();
  bool SaveSettings();
  void ShowAbout();

  static CTesselDlg* mainDialog;  // the one main dialog; the worker's page is reached through it

  wxNotebook* sheet;
  CPageFirmware* pageFirmware;
  CPageCommSet* pageCommSet;
  CFlatButton* aboutButton;  // stands in for the system-menu item, which GTK does not offer
  std::string settingsPath;
  SettingsLoad settingsLoad;

 private:
  void OnClose(wxCloseEvent&);
  void OnAbout(wxCommandEvent&);
  void Shutdown();
  bool shutDown_ = false;
};

// ---- Application ------------------------------------------------------------

class CTesselApp : public wxApp {
 public:
  bool OnInit() override;
  int OnRun() override;
};

#endif
