#include "varnel/ui/frmmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTreeWidget>
#include <QWindow>

#include "varnel/core/config.h"
#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/runner.h"
#include "varnel/core/scanner.h"
#include "varnel/core/strings.h"
#include "varnel/files/browser.h"
#include "varnel/files/connect.h"
#include "varnel/files/curdir.h"
#include "varnel/files/lists.h"
#include "varnel/files/naming.h"
#include "varnel/files/params.h"
#include "varnel/files/scanlist.h"
#include "varnel/files/schemes.h"
#include "varnel/pipeline/journal.h"
#include "varnel/pipeline/listreport.h"
#include "varnel/pipeline/print.h"
#include "varnel/ui/twips.h"
#include "varnel/ui/controls.h"
#include "varnel/ui/frmabout.h"

namespace varnel {

frmMain::frmMain(Station& st) : st_(st) {
  setObjectName("frmMain");
  CreateControls();
  ConnectFileControls(st_, f_);
  ConnectBrowserControls(st_, f_);
  connect(f_.chkAutoSetPrint, &QCheckBox::toggled, this, [this] { chkAutoSetPrint_Click(st_, f_); });
  connect(f_.cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
  // A close asked for during a scan command is carried out once it has returned.
  auto scanCommand = [this](void (*command)(ScanRoad&)) {
    return [this, command] {
      command(road_);
      if (TakeDeferredClose(road_)) close();
    };
  };
  connect(f_.cmdScan, &QPushButton::clicked, this, scanCommand(cmdScan_Click));
  connect(f_.cmdScanNext, &QPushButton::clicked, this, scanCommand(cmdScanNext_Click));
  connect(f_.cmdAutoMode, &QPushButton::clicked, this, scanCommand(cmdAutoMode_Click));
  connect(f_.txtFileName, &QLineEdit::textEdited, this, [this] { txtFileName_Edited(road_); });
  connect(f_.mnuFileClose, &QAction::triggered, this, &frmMain::mnuFileClose_Click);
  connect(f_.mnuViewOptions, &QAction::triggered, this, &frmMain::mnuViewOptions_Click);
  qApp->installEventFilter(this);
}

frmMain::~frmMain() { qApp->removeEventFilter(this); }

double frmMain::Twips(int pixels) const { return pixels * TwipsPerPixel(this); }

void frmMain::CreateControls() {
  auto* client = new QWidget(this);
  client->setObjectName("client");
  setCentralWidget(client);
  client->installEventFilter(this);  // its resize is the window's Form_Resize
  // The window's font, and FontTest's narrow face for measuring the title.
  setFont(WindowFont());
  fontTest_ = TitleFont(font());
  MainControls made = CreateMainControls(client, f_, layout_);
  pnlButtons = made.pnlButtons;
  made.splitter->down = [this] { imgSplitter_MouseDown(); };
  made.splitter->move = [this](int x) { imgSplitter_MouseMove(x); };
  made.splitter->up = [this] { imgSplitter_MouseUp(); };

  // Menu.
  Form& f = f_;
  f.mnuFile = menuBar()->addMenu(QString());
  f.mnuViewOptions = f.mnuFile->addAction(QString());
  QAction* listReport = f.mnuFile->addAction(LoadResString(resMenuListReport));
  connect(listReport, &QAction::triggered, this, [this] { WriteListReport(st_, true); });
  f.mnuFile->addSeparator();
  f.mnuFileClose = f.mnuFile->addAction(QString());
  QMenu* help = menuBar()->addMenu(LoadResString(resMenuHelp));
  QAction* about = help->addAction(LoadResString(resMenuAbout));
  about->setShortcut(Qt::Key_F1);
  connect(about, &QAction::triggered, this, &frmMain::ShowAbout);
}

QList<QPair<QString, QWidget*>> frmMain::Controls() const {
  const Form& f = f_;
  return {{"pnlJUX", f.pnlJUX},
          {"pnlAppTitle", f.pnlAppTitle},
          {"lblVersion", f.lblVersion},
          {"cmdCreateDir", f.cmdCreateDir},
          {"cmdRemoveDir", f.cmdRemoveDir},
          {"lblTitle(0)", f.lblTitle[0]},
          {"lblTitle(1)", f.lblTitle[1]},
          {"DirMasterList", f.DirMasterList},
          {"imgSplitter", f.imgSplitter},
          {"lvContentsOf", f.lvContentsOf},
          {"lstDisplayScanInfo", f.lstDisplayScanInfo},
          {"pnlDriveData", f.pnlDriveData},
          {"fraSettings", f.fraSettings},
          {"lblOriginalWidth", f.lblOriginalWidth},
          {"cboOriginalWidth", f.cboOriginalWidth},
          {"lblResoultion", f.lblResoultion},
          {"cboResolution", f.cboResolution},
          {"lblLeadingEdge", f.lblLeadingEdge},
          {"cboLeadingEdge", f.cboLeadingEdge},
          {"lblScannerSpeed", f.lblScannerSpeed},
          {"cboScannerSpeed", f.cboScannerSpeed},
          {"fraOptions", f.fraOptions},
          {"fraOriginal", f.fraOriginal},
          {"fraThreshold", f.fraThreshold},
          {"lblFormat", f.lblFormat},
          {"cboFormat", f.cboFormat},
          {"lblFileName", f.lblFileName},
          {"txtFileName", f.txtFileName},
          {"lblDataField", f.lblDataField},
          {"txtDataField", f.txtDataField},
          {"cmdScan", f.cmdScan},
          {"cmdScanNext", f.cmdScanNext},
          {"cmdAutoMode", f.cmdAutoMode},
          {"cmdExit", f.cmdExit}};
}

void frmMain::LoadIniFile(const QString& programFolder) {
  // The leading-edge entries are lined up in the list's own font.
  QFontMetricsF metrics(f_.cboLeadingEdge->font());
  IniLists lists;
  if (!varnel::LoadIniFile(st_, programFolder,
                           [&](const QString& text) { return metrics.horizontalAdvance(text); },
                           lists))
    return;
  f_.cboOriginalWidth->addItems(lists.widths);
  f_.cboLeadingEdge->addItems(lists.leadingEdges);
  for (const IniLists::Format& format : lists.formats)
    f_.cboFormat->addItem(format.text, format.itemData);
  f_.cboResolution->addItems(lists.resolutions);
  f_.lblDataField->setVisible(lists.dataFieldVisible);
  f_.txtDataField->setVisible(lists.dataFieldVisible);
}

void frmMain::SizeHeader() {
  Form& f = f_;
  // The title's width is its text's in FontTest's face, with 5% to spare.
  QFontMetricsF metrics(fontTest_);
  layout_.pnlAppTitle.width = 1.05 * Twips(1) * metrics.horizontalAdvance(f.pnlAppTitle->text());
  layout_.pnlJUX.width = 1.05 * Twips(1) * metrics.horizontalAdvance(f.pnlJUX->text());
  double settingsWidth = Twips(f.fraSettings->width());
  if (layout_.pnlJUX.width + layout_.pnlAppTitle.width > layout_.pnlDriveData.width + settingsWidth) {
    double grow = layout_.pnlJUX.width + layout_.pnlAppTitle.width - settingsWidth -
                  layout_.pnlDriveData.width;
    WidenDriveFrame(f, layout_, grow);
  }
  QFontMetricsF version(f.lblVersion->font());
  layout_.lblVersion.width = Twips(1) * version.horizontalAdvance(f.lblVersion->text()) + 150;
}

bool frmMain::Form_Load(const QString& programFolder, const QString& commandLine,
                        bool& terminate) {
  Form& f = f_;
  terminate = false;
  // Title and the stored window state.
  setWindowTitle(LoadResString(resAppTitle));
  {
    QSettings store = WindowSettings();
    state_ = ReadWindowState(store);
  }
  layout_.imgSplitter.left = state_.SplitterLeft;
  for (int i = 0; i < 3; ++i)
    f.lvContentsOf->setColumnWidth(i, TwipsToPixels(state_.ListViewHeaderWidth[i], this));
  // Position and size are the whole window's, frame included, as stored at
  // unload. The window is placed by its frame; its inside is made smaller by
  // the frame once the platform has framed it (TakeFrameOff).
  QList<QRect> screens;
  for (QScreen* screen : QGuiApplication::screens()) screens << screen->availableGeometry();
  QRect frame = FrameOnScreen(
      QRect(TwipsToPixels(state_.MainLeft, this), TwipsToPixels(state_.MainTop, this),
            TwipsToPixels(state_.MainWidth, this), TwipsToPixels(state_.MainHeight, this)),
      screens);
  move(frame.topLeft());
  resize(frame.size());
  outerSize_ = frame.size();
  if (state_.MainWindowState == 2) setWindowState(Qt::WindowMaximized);

  // The configuration; without it the program ends at once.
  LoadIniFile(programFolder);
  if (st_.LogFile.isEmpty()) return false;
  setWindowTitle(LoadResString(resAppTitle));
  f.pnlJUX->setText(LoadResString(2201));
  f.pnlAppTitle->setText(st_.ConfiguredMachineType.trimmed() + LoadResString(2202));
  f.lblVersion->setText(VersionText());
  // Captions.
  SetCaptions(f);
  // The header's width.
  SizeHeader();
  // The threshold slider's limits.
  f.sldThreshold->setRange(kMinThreshold, kMaxThreshold);
  // A scanner channel left busy by an earlier run is freed.
  if (st_.HardwareConnect == "YES") st_.StartupResetTask = StartScannerReset(st_);
  // The scanner's threshold; no answer ends the program. A working folder on
  // a drive the station lacks is said as such: the scanner was never asked.
  // The controller's own value is no change to hand over to the next scan.
  const bool noTempDrive = HostPath(st_.TempDir).isEmpty();
  f.Threshold = noTempDrive ? -1 : ReadThreshold(st_);
  st_.ControllerThreshold = f.Threshold;
  f.txtThreshold->setText(QString::number(f.Threshold));
  if (f.Threshold == -1) {
    if (splash_) splash_->hide();
    const QString text = noTempDrive ? LoadResString(resTempDirNoDrive).arg(st_.TempDir)
                                     : LoadResString(resNotCommunicating);
    if (noTempDrive) WriteLog(st_, 0, text);
    st_.seams.prompts->MsgBox(text, Prompts::Buttons::Ok, Prompts::Icon::None,
                              LoadResString(resAppTitle));
    unloaded_ = true;  // nothing was shown: nothing to store
    terminate = true;
    return false;
  }
  // The speeds the scanner offers.
  SetupScannerSpeeds(st_, f);
  // The scan list named on the command line.
  WriteLog(st_, 1, "Command Line Specified: " + commandLine);
  LoadScanList(st_, commandLine);
  // A scan-list job that a crash or a close cut short can go on where it stopped.
  OfferResume(st_, commandLine, [this](const QString& list) { LoadScanList(st_, list); });
  // New-scan mode.
  st_.NewScanMode = true;
  f.cmdScan->setText(LoadResString(2229));
  // Start folder: the current directory.
  QString current = CurDir();
  st_.ScanDrive = current.left(3);
  st_.ScanFolder = current.mid(3);
  if (!st_.ScanFolder.isEmpty()) st_.ScanFolder += "\\";
  WriteLog(st_, 1, "Start Drive: " + st_.ScanDrive);
  WriteLog(st_, 1, "Start Dir: " + st_.ScanFolder);
  // The schemes, empty fields and the first entry of every list.
  LoadCfgFiles(st_, f);
  f.txtFileName->clear();
  f.txtDataField->clear();
  for (QComboBox* list :
       {f.cboFormat, f.cboOriginalWidth, f.cboResolution, f.cboLeadingEdge, f.cboScannerSpeed})
    if (list->count() > 0) list->setCurrentIndex(0);
  f.txtFileName->setReadOnly(st_.ScanListMode);
  // The first name.
  st_.ScanName = "TEMP001";
  st_.ScanExt = f.cboFormat->currentText().left(3);
  // DEFAULT exists, and the first scheme is loaded.
  if (f.cboSettings->count() == 0)
    CreateNewSettings(st_, f, st_.AppDir + "Settings\\Default.Set");
  if (f.cboSettings->count() > 0) {
    if (f.cboSettings->currentIndex() == 0) LoadSettings(st_, f);
    else f.cboSettings->setCurrentIndex(0);  // its click loads it
  }
  // Shown, with the file name proposed and the focus where the operator types.
  f.LoadingScheme = false;
  show();
  SizeControls(layout_.imgSplitter.left);
  DisplayFileName(st_, f, DisplayScanInfo);
  if (st_.ScanListMode)
    f.cmdScanNext->setFocus();
  else
    f.txtFileName->setFocus();
  return true;
}

void frmMain::SizeControls(double X) {
  if (laying_) return;
  laying_ = true;
  MainLayout& l = layout_;
  QWidget* client = centralWidget();
  double tpp = TwipsPerPixel(this);
  l.clientWidth = client->width() * tpp;
  l.clientHeight = client->height() * tpp;
  l.outerWidth = frameGeometry().width() * tpp;
  l.outerHeight = frameGeometry().height() * tpp;
  WindowResize resize = varnel::SizeControls(l, X, (frameGeometry().height() - client->height()) * tpp);
  laying_ = false;
  if (resize.needed) {
    if (isMaximized() || isMinimized()) return;  // the platform decides the size then
    // The outer size asked for, less what the frame adds around the window.
    int width = TwipsToPixels(resize.width, this) - (frameGeometry().width() - this->width());
    int height = TwipsToPixels(resize.height, this) - (frameGeometry().height() - this->height());
    // Asked from inside a resize: the new size is set once that resize is done.
    if (width != this->width() || height != this->height())
      QMetaObject::invokeMethod(this, [this, width, height] { this->resize(width, height); },
                                Qt::QueuedConnection);
    return;
  }
  Form& f = f_;
  Place(f.pnlTop, l.pnlTop);
  Place(f.pnlJUX, l.pnlJUX);
  Place(f.pnlAppTitle, l.pnlAppTitle);
  Place(f.lblVersion, l.lblVersion);
  Place(pnlButtons, l.pnlButtons);
  pnlButtons->lower();
  Place(f.cmdCreateDir, l.cmdCreateDir);
  Place(f.cmdRemoveDir, l.cmdRemoveDir);
  Place(f.pnlFiles, l.pnlFiles);
  Place(f.lblTitle[0], l.lblTitle[0]);
  Place(f.lblTitle[1], l.lblTitle[1]);
  Place(f.DirMasterList, l.DirMasterList);
  Place(f.imgSplitter, l.imgSplitter);
  Place(f.lvContentsOf, l.lvContentsOf);
  Place(f.lstDisplayScanInfo, l.lstDisplayScanInfo);
  Place(f.pnlRight, l.pnlRight);
  Place(f.pnlBottom, l.pnlBottom);
  Place(f.txtFileName, l.txtFileName);
  Place(f.txtDataField, l.txtDataField);
  Place(f.pnlBottom2, l.pnlBottom2);
  Place(f.cmdScan, l.cmdScan);
  Place(f.cmdScanNext, l.cmdScanNext);
  Place(f.cmdAutoMode, l.cmdAutoMode);
  Place(f.cmdExit, l.cmdExit);
}

void frmMain::imgSplitter_MouseDown() {
  Form& f = f_;
  const Box& s = layout_.imgSplitter;
  Place(f.picSplitter, {s.left, s.top, static_cast<double>(static_cast<int>(s.width) / 2),
                        s.height - 20});
  f.picSplitter->show();
  f.picSplitter->raise();
  f.SplitterDragging = true;
}

void frmMain::imgSplitter_MouseMove(int x) {
  Form& f = f_;
  if (!f.SplitterDragging) return;
  double left = SplitterBarLeft(layout_, Twips(x));
  f.picSplitter->move(TwipsToPixels(left, this), f.picSplitter->y());
}

void frmMain::imgSplitter_MouseUp() {
  Form& f = f_;
  if (!f.SplitterDragging) return;
  SizeControls(Twips(f.picSplitter->x()));
  f.picSplitter->hide();
  f.SplitterDragging = false;
}

void frmMain::Form_Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  Form& f = f_;
  // Auto Set Print off; its own handler may ask about the copies left.
  SwitchAutoSetPrintOff(st_, f);
  // The scan list's report as the window leaves it. A list run that the close
  // cuts short shows its summary here, once; after a run that ended, its end
  // has shown it.
  if (st_.ScanListMode && !st_.ScanListFile.isEmpty()) WriteListReport(st_, st_.AutoModeOn);
  st_.WindowClosed = true;
  // The other windows, the last opened first.
  QWidgetList windows = QApplication::topLevelWidgets();
  for (auto it = windows.rbegin(); it != windows.rend(); ++it)
    if (*it != this && (*it)->isVisible()) (*it)->close();
  // The state to come back to.
  ShowState shown = isMinimized()   ? ShowState::Minimised
                    : isMaximized() ? ShowState::Maximised
                                    : ShowState::Normal;
  state_.MainWindowState = shown == ShowState::Maximised ? 2 : 0;
  if (shown == ShowState::Normal) {
    QRect frame = frameGeometry();
    state_.MainLeft = Twips(frame.x());
    state_.MainTop = Twips(frame.y());
    state_.MainWidth = Twips(frame.width());
    state_.MainHeight = Twips(frame.height());
    state_.SplitterLeft = layout_.imgSplitter.left;
    for (int i = 0; i < 3; ++i) state_.ListViewHeaderWidth[i] = Twips(f.lvContentsOf->columnWidth(i));
  }
  QSettings store = WindowSettings();
  WriteWindowState(store, state_, shown, kViewModeReport);
}

void frmMain::Form_Terminate() {
  WriteLog(st_, 0, "Program Terminated: " + GeneralDate(QDateTime::currentDateTime()));
  if (!st_.DebugFlag) {
    // Missing files and files that cannot be deleted are no error here.
    DeleteFile(st_.TempDir + "Brevik.TIF");
    DeleteFile(st_.TempDir + "Brevik.Tlc");
  }
}

void frmMain::closeEvent(QCloseEvent* event) {
  // A scan command under way stops first; the window closes when it returns.
  // The status window, which the close may have put behind this one, stays
  // in view until then.
  if (DeferClose(road_)) {
    event->ignore();
    for (QWidget* child : findChildren<QWidget*>())
      if (child->isWindow() && child->isVisible()) child->raise();
    return;
  }
  Form_Unload();
  event->accept();
}

void frmMain::cmdExit_Click() {
  // The auto-mode prompt waits on the scanner: its channel is reset first.
  if (autoModeShown_ && autoModeShown_())
    st_.seams.processes->Shell(st_.StatusExe + " /S /F", ShellWindow::MinimizedNoFocus);
  if (close()) QApplication::quit();
}

void frmMain::mnuFileClose_Click() { close(); }

void frmMain::mnuViewOptions_Click() {
  QString path = f_.DirMasterList->Path();
  UpdateFileFields(st_, f_, kFieldsFolder, path.left(2).toUpper(), path.mid(2), QString(),
                   QString());
}

void frmMain::ShowAbout() {
  frmAbout about(st_, this);
  about.exec();
}

QWidget* frmMain::KeyReceiver() {
  QWidget* focus = focusWidget();
  return focus ? focus : this;
}

void frmMain::TakeFrameOff() {
  if (!outerSize_.isValid() || isMaximized() || isMinimized()) return;
  QSize frame = frameGeometry().size() - size();
  if (frame.isNull()) return;  // not framed (yet)
  QSize inside = outerSize_ - frame;
  outerSize_ = QSize();
  if (inside != size()) resize(inside);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == this &&
      (event->type() == QEvent::Move || event->type() == QEvent::Resize ||
       event->type() == QEvent::Show || event->type() == QEvent::WindowStateChange))
    TakeFrameOff();
  if (watched == centralWidget() && event->type() == QEvent::Resize) {
    // Form_Resize: errors while laying out are of no concern; the next resize lays out again.
    if (!unloaded_) SizeControls(layout_.imgSplitter.left);
    return false;
  }
  // The window sees every key first (Form_KeyDown); a key that is one of its
  // commands goes no further. A press is taken where it is delivered first,
  // the window's focus widget: a key that widget leaves travels on to its
  // parents as the same event, and must not run a command twice. A held key's
  // repeats are not new presses. A disabled window takes none.
  if (event->type() == QEvent::KeyPress && watched == KeyReceiver() &&
      !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() == this && isEnabled() && widget->isEnabled() && !unloaded_) {
      ++keysHandled_;
      auto* key = static_cast<QKeyEvent*>(event);
      switch (Form_KeyDown(road_, key->key(), key->modifiers())) {
        case KeyCommand::None:
          break;
        case KeyCommand::Done:
          return true;
        case KeyCommand::CloseWindow:
          close();
          return true;
        case KeyCommand::RestoreWindow:
          setWindowState(Qt::WindowNoState);
          return true;
      }
    }
  }
  // While the window is disabled for a wait, the windows it owns (the status
  // window, message boxes) still take the operator's keys.
  if (event->type() == QEvent::Show && !isEnabled()) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && widget != this && widget->isWindow() && isAncestorOf(widget))
      widget->setEnabled(true);
  }
  return QMainWindow::eventFilter(watched, event);
}

QString VersionText() { return LoadResString(resVersion) + " " + kProgramVersion; }

void frmMain::SetMousePointer(int pointer) {
  if (pointer == kHourglass)
    setCursor(Qt::WaitCursor);
  else
    unsetCursor();
}

void frmMain::SetMainEnabled(bool enabled) {
  // The whole window: no key and no click reaches it during a wait. The
  // windows it owns are enabled again at once (and when they are shown), so
  // the status window keeps taking ESC and Ctrl+R.
  setEnabled(enabled);
  if (!enabled)
    for (QWidget* child : findChildren<QWidget*>())
      if (child->isWindow()) child->setEnabled(true);
}

void frmMain::ShowSplashStatus(const QString& text) {
  if (auto* status = splash_ ? splash_->findChild<QLabel*>("lblStatus") : nullptr)
    status->setText(text);
}

}  // namespace varnel
