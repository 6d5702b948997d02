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
#include "varnel/pipeline/twips.h"
#include "varnel/ui/frmabout.h"

namespace varnel {
namespace {

// The splitter handle: reports its mouse, x in pixels relative to itself.
class SplitterHandle : public QWidget {
 public:
  std::function<void()> down, up;
  std::function<void(int)> move;
  using QWidget::QWidget;

 protected:
  void mousePressEvent(QMouseEvent*) override {
    if (down) down();
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    if (move) move(static_cast<int>(e->position().x()));
  }
  void mouseReleaseEvent(QMouseEvent*) override {
    if (up) up();
  }
};

// Design sizes of the controls, in twips. SizeControls moves what depends on
// the window's size; the rest stays where it is placed here.
constexpr double kTopHeight = 700, kButtonRowTop = 760, kFilesTop = 1150, kFilesLeft = 100;
constexpr double kTitleHeight = 250, kRow = 330;
// The parameter panel's two columns: labels and lists on the left, wide
// enough for the longest label and an inch speed ("Fast 12.6"/Sec") in a
// desktop's sans-serif face; schemes, options and threshold on the right.
// The panel stays narrow enough that the first-start window (10000 twips)
// keeps its splitter at 2000 with 1500 to spare.
// Column A runs from a small margin (the contents list ends where the panel
// begins) to kColumnA.
constexpr double kColumnALeft = 90, kColumnA = 3450, kColumnB = 3560, kColumnBWidth = 2600;
constexpr double kRightWidth = kColumnB + kColumnBWidth + 100, kRightHeight = 3800;
constexpr double kLabelWidth = 1400;
constexpr double kBottomHeight = 1200, kBottom2Height = 600, kCommandWidth = 1400;
constexpr double kFolderButtonWidth = 1500;

}  // namespace

frmMain::frmMain(Station& st) : st_(st) {
  setObjectName("frmMain");
  CreateControls();
  ConnectFileControls(st_, f_);
  ConnectBrowserControls(st_, f_);
  connect(f_.chkAutoSetPrint, &QCheckBox::toggled, this, [this] { chkAutoSetPrint_Click(st_, f_); });
  connect(f_.cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
  connect(f_.cmdScan, &QPushButton::clicked, this, [this] { cmdScan_Click(road_); });
  connect(f_.cmdScanNext, &QPushButton::clicked, this, [this] { cmdScanNext_Click(road_); });
  connect(f_.cmdAutoMode, &QPushButton::clicked, this, [this] { cmdAutoMode_Click(road_); });
  connect(f_.txtFileName, &QLineEdit::textEdited, this, [this] { txtFileName_Edited(road_); });
  connect(f_.mnuFileClose, &QAction::triggered, this, &frmMain::mnuFileClose_Click);
  connect(f_.mnuViewOptions, &QAction::triggered, this, &frmMain::mnuViewOptions_Click);
  qApp->installEventFilter(this);
}

frmMain::~frmMain() { qApp->removeEventFilter(this); }

double frmMain::Twips(int pixels) const { return pixels * TwipsPerPixel(this); }

void frmMain::Place(QWidget* widget, const Box& b) {
  int left = TwipsToPixels(b.left, this), top = TwipsToPixels(b.top, this);
  widget->setGeometry(left, top, TwipsToPixels(b.right(), this) - left,
                      TwipsToPixels(b.bottom(), this) - top);
}

void frmMain::CreateControls() {
  Form& f = f_;
  f.window = this;
  auto* client = new QWidget(this);
  client->setObjectName("client");
  setCentralWidget(client);
  client->installEventFilter(this);  // its resize is the window's Form_Resize

  // The window's font, and FontTest's narrow face for measuring the title.
  QFont font = QApplication::font();
  font.setPointSize(8);
  setFont(font);
  fontTest_ = font;
  fontTest_.setPointSize(16);
  fontTest_.setBold(true);
  fontTest_.setStretch(QFont::Condensed);

  auto frame = [&](QWidget* parent) {
    auto* w = new QFrame(parent);
    return w;
  };
  auto label = [&](QWidget* parent) { return new QLabel(parent); };

  // Title band.
  f.pnlTop = frame(client);
  f.pnlJUX = label(f.pnlTop);
  f.pnlAppTitle = label(f.pnlTop);
  f.lblVersion = label(f.pnlTop);
  f.pnlJUX->setFont(fontTest_);
  f.pnlAppTitle->setFont(fontTest_);
  // Dark red while the window takes input; greyed like every caption while
  // it is disabled.
  QPalette jux = f.pnlJUX->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
    jux.setColor(group, QPalette::WindowText, QColor(0x8b, 0, 0));
  f.pnlJUX->setPalette(jux);
  f.lblVersion->setAlignment(Qt::AlignHCenter);
  layout_.pnlTop = {0, 0, 0, kTopHeight};
  layout_.pnlJUX = {0, 30, 800, 420};
  layout_.pnlAppTitle = {800, 30, 3000, 420};
  layout_.lblVersion = {0, 470, 2000, 220};

  // The folder buttons' row.
  pnlButtons = frame(client);
  f.cmdCreateDir = new QPushButton(client);
  f.cmdRemoveDir = new QPushButton(client);
  layout_.cmdCreateDir = {kFilesLeft, kButtonRowTop, kFolderButtonWidth, 345};
  layout_.cmdRemoveDir = {0, kButtonRowTop, kFolderButtonWidth, 345};

  // Folder browser and contents.
  f.pnlFiles = frame(client);
  for (auto*& title : f.lblTitle) {
    title = label(f.pnlFiles);
    title->setFrameShape(QFrame::Panel);
    title->setFrameShadow(QFrame::Raised);
  }
  f.DirMasterList = new DirListBox(f.pnlFiles);
  f.lvContentsOf = new QTreeWidget(f.pnlFiles);
  f.lvContentsOf->setColumnCount(3);
  f.lvContentsOf->setRootIsDecorated(false);
  auto* handle = new SplitterHandle(f.pnlFiles);
  handle->setCursor(Qt::SplitHCursor);
  handle->down = [this] { imgSplitter_MouseDown(); };
  handle->move = [this](int x) { imgSplitter_MouseMove(x); };
  handle->up = [this] { imgSplitter_MouseUp(); };
  f.imgSplitter = handle;
  f.picSplitter = frame(f.pnlFiles);
  f.picSplitter->setAutoFillBackground(true);
  f.picSplitter->setStyleSheet("background: #404040");
  f.picSplitter->hide();
  f.lstDisplayScanInfo = new QListWidget(f.pnlFiles);
  f.lstDisplayScanInfo->hide();  // shown while a scan list is active
  f.FileMasterList = new FileListBox(this);
  f.FileMasterList->hide();
  f.DriveMasterList = new DriveListBox(this);
  f.DriveMasterList->hide();
  layout_.pnlFiles = {kFilesLeft, kFilesTop, 0, 0};
  layout_.lblTitle[0] = {0, 0, 2000, kTitleHeight};
  layout_.lblTitle[1] = {2070, 0, 0, kTitleHeight};
  layout_.lstDisplayScanInfo = {0, 0, 0, 0};
  layout_.imgSplitter = {2000, 0, 70, 0};

  // Parameter panel: two columns.
  f.pnlRight = frame(client);
  QWidget* r = f.pnlRight;
  layout_.pnlRight = {0, 0, kRightWidth, kRightHeight};
  f.pnlDriveData = frame(r);
  f.pnlDriveData->setFrameShape(QFrame::StyledPanel);
  f.dlbDrive = new DriveListBox(f.pnlDriveData);
  layout_.pnlDriveData = {kColumnALeft, 0, kColumnA - kColumnALeft, 600};
  Place(f.pnlDriveData, layout_.pnlDriveData);
  Place(f.dlbDrive, {100, 135, layout_.pnlDriveData.width - 200, kRow});

  struct ParamRow {
    QLabel*& label;
    QComboBox*& combo;
  };
  ParamRow rows[] = {{f.lblOriginalWidth, f.cboOriginalWidth},
                     {f.lblResoultion, f.cboResolution},
                     {f.lblLeadingEdge, f.cboLeadingEdge},
                     {f.lblScannerSpeed, f.cboScannerSpeed}};
  double y = 700;
  for (auto& row : rows) {
    row.label = label(r);
    row.combo = new QComboBox(r);
    Place(row.label, {kColumnALeft, y + 40, kLabelWidth, 250});
    Place(row.combo, {kColumnALeft + kLabelWidth, y, kColumnA - kColumnALeft - kLabelWidth, kRow});
    y += 420;
  }
  f.cboOriginalWidth->setEditable(true);
  f.cboResolution->setEditable(true);

  f.fraOriginal = new QGroupBox(r);
  Place(f.fraOriginal, {kColumnALeft, 2450, kColumnA - kColumnALeft, 1250});
  QRadioButton** options[] = {&f.optLineArt, &f.optPhoto1, &f.optPhoto2};
  y = 300;
  for (QRadioButton** option : options) {
    *option = new QRadioButton(f.fraOriginal);
    Place(*option, {150, y, kColumnA - kColumnALeft - 300, 270});
    y += 300;
  }

  f.fraSettings = new QGroupBox(r);
  Place(f.fraSettings, {kColumnB, 0, kColumnBWidth, 1250});
  f.lblScheme = label(f.fraSettings);
  f.cboSettings = new QComboBox(f.fraSettings);
  f.cmdSaveAs = new QPushButton(f.fraSettings);
  f.cmdDelete = new QPushButton(f.fraSettings);
  Place(f.lblScheme, {120, 330, 720, 250});
  Place(f.cboSettings, {850, 290, kColumnBWidth - 970, kRow});
  Place(f.cmdSaveAs, {110, 750, 1200, 375});
  Place(f.cmdDelete, {1340, 750, 1200, 375});

  f.fraOptions = new QGroupBox(r);
  Place(f.fraOptions, {kColumnB, 1300, kColumnBWidth, 1700});
  QCheckBox** checks[] = {&f.chkViewFlag, &f.chkEditFlag, &f.chkMirrorFlag, &f.chkInvertFlag,
                          &f.chkAutoSetPrint};
  y = 280;
  for (QCheckBox** check : checks) {
    *check = new QCheckBox(f.fraOptions);
    Place(*check, {150, y, kColumnBWidth - 300, 270});
    y += 270;
  }

  f.fraThreshold = new QGroupBox(r);
  Place(f.fraThreshold, {kColumnB, 3050, kColumnBWidth, 650});
  f.txtThreshold = new QLineEdit(f.fraThreshold);
  f.sldThreshold = new QSlider(Qt::Horizontal, f.fraThreshold);
  lblThreshold = nullptr;
  Place(f.txtThreshold, {120, 250, 600, kRow});
  Place(f.sldThreshold, {800, 250, kColumnBWidth - 920, kRow});

  // File rows.
  f.pnlBottom = frame(client);
  layout_.pnlBottom = {0, 0, 0, kBottomHeight};
  struct FileRow {
    QLabel*& label;
    QWidget* field;
    double top;
  };
  f.cboFormat = new QComboBox(f.pnlBottom);
  f.txtFileName = new QLineEdit(f.pnlBottom);
  f.txtDataField = new QLineEdit(f.pnlBottom);
  FileRow fileRows[] = {{f.lblFormat, f.cboFormat, 60},
                        {f.lblFileName, f.txtFileName, 450},
                        {f.lblDataField, f.txtDataField, 840}};
  for (auto& row : fileRows) {
    row.label = label(f.pnlBottom);
    Place(row.label, {kFilesLeft, row.top + 40, 950, 250});
  }
  Place(f.cboFormat, {1100, 60, 2600, kRow});
  layout_.txtFileName = {1100, 450, 0, kRow};
  layout_.txtDataField = {1100, 840, 0, kRow};
  f.lblFileName->setBuddy(f.txtFileName);

  // Command buttons.
  f.pnlBottom2 = frame(client);
  layout_.pnlBottom2 = {0, 0, 0, kBottom2Height};
  f.cmdScan = new QPushButton(f.pnlBottom2);
  f.cmdScanNext = new QPushButton(f.pnlBottom2);
  f.cmdAutoMode = new QPushButton(f.pnlBottom2);
  f.cmdExit = new QPushButton(f.pnlBottom2);
  for (Box* b : {&layout_.cmdScan, &layout_.cmdScanNext, &layout_.cmdAutoMode, &layout_.cmdExit})
    *b = {0, 100, kCommandWidth, 400};

  // Menu.
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

  for (QWidget* w : QList<QWidget*>{f.pnlTop, pnlButtons, f.pnlFiles, f.pnlRight, f.pnlBottom,
                                    f.pnlBottom2})
    w->setObjectName("panel");
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

void frmMain::SetCaptions() {
  Form& f = f_;
  const std::pair<QObject*, int> kCaptions[] = {
      {f.cmdCreateDir, 2203},     {f.cmdRemoveDir, 2204},   {f.lblTitle[0], 2205},
      {f.lblTitle[1], 2206},      {f.fraSettings, 2207},    {f.lblScheme, 2208},
      {f.cmdSaveAs, 2209},        {f.cmdDelete, 2210},      {f.lblOriginalWidth, 2211},
      {f.lblResoultion, 2212},    {f.lblLeadingEdge, 2213}, {f.lblScannerSpeed, 2214},
      {f.fraOptions, 2215},       {f.chkViewFlag, 2216},    {f.chkEditFlag, 2217},
      {f.chkMirrorFlag, 2218},    {f.chkInvertFlag, 2219},  {f.chkAutoSetPrint, 2220},
      {f.fraOriginal, 2221},      {f.optLineArt, 2222},     {f.optPhoto1, 2223},
      {f.optPhoto2, 2224},        {f.fraThreshold, 2225},   {f.lblFormat, 2226},
      {f.lblFileName, 2227},      {f.lblDataField, 2228},   {f.cmdScan, 2229},
      {f.cmdScanNext, 2230},      {f.cmdAutoMode, 2231},    {f.cmdExit, 2232},
      {f.mnuFile, 2233},          {f.mnuViewOptions, 2234}, {f.mnuFileClose, 2235},
  };
  for (auto [object, id] : kCaptions) {
    // The contents list's title names its folder once one is listed.
    if (object == f.lblTitle[1] && !f.LastListedFolder.isEmpty()) continue;
    QString text = LoadResString(id);
    if (auto* l = qobject_cast<QLabel*>(object)) l->setText(text);
    else if (auto* b = qobject_cast<QAbstractButton*>(object)) b->setText(text);
    else if (auto* g = qobject_cast<QGroupBox*>(object)) g->setTitle(text);
    else if (auto* m = qobject_cast<QMenu*>(object)) m->setTitle(text);
    else if (auto* a = qobject_cast<QAction*>(object)) a->setText(text);
  }
  f.lvContentsOf->setHeaderLabels({LoadResString(2237), LoadResString(2238), LoadResString(2239)});
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
    layout_.pnlDriveData.width += grow;
    // The panel grows with its drive frame; the settings column moves along.
    layout_.pnlRight.width += grow;
    Place(f.pnlDriveData, layout_.pnlDriveData);
    Place(f.dlbDrive, {100, 135, layout_.pnlDriveData.width - 200, kRow});
    for (QWidget* moved : {static_cast<QWidget*>(f.fraSettings), static_cast<QWidget*>(f.fraOptions),
                           static_cast<QWidget*>(f.fraThreshold)})
      moved->move(moved->x() + TwipsToPixels(grow, this), moved->y());
  }
  QFontMetricsF version(f.lblVersion->font());
  layout_.lblVersion.width = Twips(1) * version.horizontalAdvance(f.lblVersion->text()) + 150;
}

bool frmMain::Form_Load(const QString& programFolder, const QString& commandLine,
                        bool& terminate) {
  Form& f = f_;
  terminate = false;
  // 1. Title and the stored window state.
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

  // 2. The configuration; without it the program ends at once.
  LoadIniFile(programFolder);
  if (st_.LogFile.isEmpty()) return false;
  setWindowTitle(LoadResString(resAppTitle));
  f.pnlJUX->setText(LoadResString(2201));
  f.pnlAppTitle->setText(st_.ConfiguredMachineType.trimmed() + LoadResString(2202));
  f.lblVersion->setText(VersionText());
  // 3. Captions.
  SetCaptions();
  // 4. The header's width.
  SizeHeader();
  // 5. The threshold slider's limits.
  f.sldThreshold->setRange(kMinThreshold, kMaxThreshold);
  // 6. A scanner channel left busy by an earlier run is freed.
  if (st_.HardwareConnect == "YES") st_.StartupResetTask = StartScannerReset(st_);
  // 7. The scanner's threshold; no answer ends the program. A working folder on
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
  // 8. The speeds the scanner offers.
  SetupScannerSpeeds(st_, f);
  // 9. The scan list named on the command line.
  WriteLog(st_, 1, "Command Line Specified: " + commandLine);
  LoadScanList(st_, commandLine);
  // A scan-list job that a crash or a close cut short can go on where it stopped.
  OfferResume(st_, commandLine, [this](const QString& list) { LoadScanList(st_, list); });
  // 10. New-scan mode.
  st_.NewScanMode = true;
  f.cmdScan->setText(LoadResString(2229));
  // 11. Start folder: the current directory.
  QString current = CurDir();
  st_.ScanDrive = current.left(3);
  st_.ScanFolder = current.mid(3);
  if (!st_.ScanFolder.isEmpty()) st_.ScanFolder += "\\";
  WriteLog(st_, 1, "Start Drive: " + st_.ScanDrive);
  WriteLog(st_, 1, "Start Dir: " + st_.ScanFolder);
  // 12. The schemes, empty fields and the first entry of every list.
  LoadCfgFiles(st_, f);
  f.txtFileName->clear();
  f.txtDataField->clear();
  for (QComboBox* list :
       {f.cboFormat, f.cboOriginalWidth, f.cboResolution, f.cboLeadingEdge, f.cboScannerSpeed})
    if (list->count() > 0) list->setCurrentIndex(0);
  f.txtFileName->setReadOnly(st_.ScanListMode);
  // 13. The first name.
  st_.ScanName = "TEMP001";
  st_.ScanExt = f.cboFormat->currentText().left(3);
  // 14. DEFAULT exists, and the first scheme is loaded.
  if (f.cboSettings->count() == 0)
    CreateNewSettings(st_, f, st_.AppDir + "Settings\\Default.Set");
  if (f.cboSettings->count() > 0) {
    if (f.cboSettings->currentIndex() == 0) LoadSettings(st_, f);
    else f.cboSettings->setCurrentIndex(0);  // its click loads it
  }
  // 15. Shown, with the file name proposed and the focus where the operator types.
  f.LoadingScheme = false;
  show();
  SizeControls(layout_.imgSplitter.left);
  DisplayFileName(st_, f);
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
  Place(pnlButtons, {0, kTopHeight, l.clientWidth - l.pnlRight.width, kFilesTop - kTopHeight});
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
  // 1. Auto Set Print off; its own handler may ask about the copies left.
  SwitchAutoSetPrintOff(st_, f);
  // The scan list's report as the window leaves it (not shown: the window goes).
  if (st_.ScanListMode && !st_.ScanListFile.isEmpty()) WriteListReport(st_, false);
  // 2. The other windows, the last opened first.
  QWidgetList windows = QApplication::topLevelWidgets();
  for (auto it = windows.rbegin(); it != windows.rend(); ++it)
    if (*it != this && (*it)->isVisible()) (*it)->close();
  // 3. and 4. The state to come back to.
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
  Form_Unload();
  event->accept();
}

void frmMain::cmdExit_Click() {
  // The auto-mode prompt waits on the scanner: its channel is reset first.
  if (autoModeShown_ && autoModeShown_())
    st_.seams.processes->Shell(st_.StatusExe + " /S /F", ShellWindow::MinimizedNoFocus);
  close();
  QApplication::quit();
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

void frmMain::RestoreNormal() {
  setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
  showNormal();
  raise();
  activateWindow();
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
      if (Form_KeyDown(road_, key->key(), key->modifiers())) return true;
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
