// The workstation's main window: it creates every control of the window, fills
// the Form record with them, places them by the twips arithmetic of
// SizeControls and routes their events to the procedures of files/ and
// pipeline/. Its own procedures are the start-up (Form_Load), the end
// (Form_Unload, Form_Terminate), the splitter and the menu and exit commands.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>

#include "varnel/core/seams.h"
#include "varnel/core/station.h"
#include "varnel/files/form.h"
#include "varnel/pipeline/workflow.h"
#include "varnel/ui/controls.h"
#include "varnel/ui/filesnaming.h"
#include "varnel/ui/layout.h"
#include "varnel/ui/winstate.h"

class QKeyEvent;
class QLabel;

namespace varnel {

// The workstation's version: the project's version in CMake (major.minor.revision).
inline constexpr const char* kProgramVersion = JUX_VERSION;
// "Version 1.0.0", as the main window, the splash and the about box show it.
QString VersionText();

class frmMain : public QMainWindow, public WindowHooks {
  Q_OBJECT
 public:
  explicit frmMain(Station& st);
  ~frmMain() override;

  // Start-up in order; programFolder is the Windows-style name of the folder that
  // holds Varnel.Ini. False when the program must end at once: Varnel.Ini is
  // missing (nothing has been written) or the scanner does not answer
  // (terminate then asks for the final log line).
  bool Form_Load(const QString& programFolder, const QString& commandLine, bool& terminate);
  // Saves the window state; the window then closes.
  void Form_Unload();
  // Final log line and removal of the last scan's working files.
  void Form_Terminate();
  // Lays the window out with the splitter at X (twips).
  void SizeControls(double X);

  void cmdExit_Click();
  void mnuFileClose_Click();
  void mnuViewOptions_Click();
  // The about dialog, modal over the window (Help menu, F1).
  void ShowAbout();

  // The splash window that Form_Load hides before its last message.
  void SetSplash(QWidget* splash) { splash_ = splash; }
  // Whether the auto-mode message window is up (Exit then resets the scanner channel).
  void SetAutoModeWindowShown(std::function<bool()> shown) { autoModeShown_ = std::move(shown); }

  // WindowHooks
  void SetMousePointer(int pointer) override;
  void SetMainEnabled(bool enabled) override;
  void ShowSplashStatus(const QString& text) override;
  void ActivateMain() override { activateWindow(); }

  Form& form() { return f_; }
  // What the scan commands work on.
  ScanRoad& road() { return road_; }
  const MainLayout& layout() const { return layout_; }
  // Every control of the control table that is placed on the window, by name.
  QList<QPair<QString, QWidget*>> Controls() const;
  // Where a key typed on the window goes first: the focus widget, or the
  // window itself when nothing has the focus.
  QWidget* KeyReceiver();
  // Key presses that reached the window's key handler (Form_KeyDown).
  int keysHandled() const { return keysHandled_; }

  // The row of the two folder buttons (the Form does not hold it).
  QFrame* pnlButtons = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateControls();
  void LoadIniFile(const QString& programFolder);
  void SizeHeader();
  double Twips(int pixels) const;
  // Makes the inside smaller by the frame, once the frame is known, so that
  // the whole window has the size stored.
  void TakeFrameOff();
  void imgSplitter_MouseDown();
  void imgSplitter_MouseMove(int x);
  void imgSplitter_MouseUp();

  Station& st_;
  Form f_;
  FilesNaming naming_{st_, f_};
  ScanRoad road_{st_, naming_, [this] { return ReadScanRequest(f_); }};
  MainLayout layout_;  // design sizes, then the last layout applied
  WindowState state_;
  QSize outerSize_;  // the whole window's size still to be reached
  QFont fontTest_;      // FontTest: the title's narrow sans-serif face
  QPointer<QWidget> splash_;
  std::function<bool()> autoModeShown_;
  bool unloaded_ = false;
  bool laying_ = false;
  int keysHandled_ = 0;
};

}  // namespace varnel
