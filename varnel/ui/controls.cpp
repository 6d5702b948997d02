#include "varnel/ui/controls.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTreeWidget>

#include "varnel/core/strings.h"
#include "varnel/files/lists.h"
#include "varnel/pipeline/print.h"
#include "varnel/ui/twips.h"

namespace varnel {
namespace {

// Design sizes of the controls, in twips. SizeControls moves what depends on
// the window's size; the rest stays where it is placed here.
constexpr double kTopHeight = 700, kButtonRowTop = 760, kFilesTop = 1150, kFilesLeft = 100;
constexpr double kTitleHeight = 250, kRow = 330;
// The parameter panel's two columns: labels and lists on the left, wide
// enough for the longest label and an inch speed ("Fast 12.6"/Sec) in a
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

// The drive list inside its frame.
Box DriveListPlace(const MainLayout& l) { return {100, 135, l.pnlDriveData.width - 200, kRow}; }

}  // namespace

void SplitterHandle::mousePressEvent(QMouseEvent*) {
  if (down) down();
}
void SplitterHandle::mouseMoveEvent(QMouseEvent* e) {
  if (move) move(static_cast<int>(e->position().x()));
}
void SplitterHandle::mouseReleaseEvent(QMouseEvent*) {
  if (up) up();
}

QFont WindowFont() {
  QFont font = QApplication::font();
  font.setPointSize(8);
  return font;
}

QFont TitleFont(const QFont& windowFont) {
  QFont font = windowFont;
  font.setPointSize(16);
  font.setBold(true);
  font.setStretch(QFont::Condensed);
  return font;
}

void Place(QWidget* widget, const Box& b) {
  int left = TwipsToPixels(b.left, widget), top = TwipsToPixels(b.top, widget);
  widget->setGeometry(left, top, TwipsToPixels(b.right(), widget) - left,
                      TwipsToPixels(b.bottom(), widget) - top);
}

MainControls CreateMainControls(QWidget* client, Form& f, MainLayout& layout) {
  MainControls made;
  f.window = client->window();
  auto frame = [](QWidget* parent) { return new QFrame(parent); };
  auto label = [](QWidget* parent) { return new QLabel(parent); };

  // Title band.
  f.pnlTop = frame(client);
  f.pnlJUX = label(f.pnlTop);
  f.pnlAppTitle = label(f.pnlTop);
  f.lblVersion = label(f.pnlTop);
  const QFont title = TitleFont(client->font());
  f.pnlJUX->setFont(title);
  f.pnlAppTitle->setFont(title);
  // Dark red while the window takes input; greyed like every caption while
  // it is disabled.
  QPalette jux = f.pnlJUX->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
    jux.setColor(group, QPalette::WindowText, QColor(0x8b, 0, 0));
  f.pnlJUX->setPalette(jux);
  f.lblVersion->setAlignment(Qt::AlignHCenter);
  layout.pnlTop = {0, 0, 0, kTopHeight};
  layout.pnlJUX = {0, 30, 800, 420};
  layout.pnlAppTitle = {800, 30, 3000, 420};
  layout.lblVersion = {0, 470, 2000, 220};

  // The folder buttons' row.
  made.pnlButtons = frame(client);
  f.cmdCreateDir = new QPushButton(client);
  f.cmdRemoveDir = new QPushButton(client);
  layout.cmdCreateDir = {kFilesLeft, kButtonRowTop, kFolderButtonWidth, 345};
  layout.cmdRemoveDir = {0, kButtonRowTop, kFolderButtonWidth, 345};

  // Folder browser and contents.
  f.pnlFiles = frame(client);
  for (auto*& caption : f.lblTitle) {
    caption = label(f.pnlFiles);
    caption->setFrameShape(QFrame::Panel);
    caption->setFrameShadow(QFrame::Raised);
  }
  f.DirMasterList = new DirListBox(f.pnlFiles);
  f.lvContentsOf = new QTreeWidget(f.pnlFiles);
  f.lvContentsOf->setColumnCount(3);
  f.lvContentsOf->setRootIsDecorated(false);
  made.splitter = new SplitterHandle(f.pnlFiles);
  made.splitter->setCursor(Qt::SplitHCursor);
  f.imgSplitter = made.splitter;
  f.picSplitter = frame(f.pnlFiles);
  f.picSplitter->setAutoFillBackground(true);
  f.picSplitter->setStyleSheet("background: #404040");
  f.picSplitter->hide();
  f.lstDisplayScanInfo = new QListWidget(f.pnlFiles);
  f.lstDisplayScanInfo->hide();  // shown while a scan list is active
  f.FileMasterList = new FileListBox(f.window);
  f.FileMasterList->hide();
  f.DriveMasterList = new DriveListBox(f.window);
  f.DriveMasterList->hide();
  layout.pnlFiles = {kFilesLeft, kFilesTop, 0, 0};
  layout.lblTitle[0] = {0, 0, 2000, kTitleHeight};
  layout.lblTitle[1] = {2070, 0, 0, kTitleHeight};
  layout.lstDisplayScanInfo = {0, 0, 0, 0};
  layout.imgSplitter = {2000, 0, 70, 0};

  // Parameter panel: two columns.
  f.pnlRight = frame(client);
  QWidget* r = f.pnlRight;
  layout.pnlRight = {0, 0, kRightWidth, kRightHeight};
  f.pnlDriveData = frame(r);
  f.pnlDriveData->setFrameShape(QFrame::StyledPanel);
  f.dlbDrive = new DriveListBox(f.pnlDriveData);
  layout.pnlDriveData = {kColumnALeft, 0, kColumnA - kColumnALeft, 600};
  Place(f.pnlDriveData, layout.pnlDriveData);
  Place(f.dlbDrive, DriveListPlace(layout));

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
  Place(f.txtThreshold, {120, 250, 600, kRow});
  Place(f.sldThreshold, {800, 250, kColumnBWidth - 920, kRow});

  // File rows.
  f.pnlBottom = frame(client);
  layout.pnlBottom = {0, 0, 0, kBottomHeight};
  f.cboFormat = new QComboBox(f.pnlBottom);
  f.txtFileName = new QLineEdit(f.pnlBottom);
  f.txtDataField = new QLineEdit(f.pnlBottom);
  struct FileRow {
    QLabel*& label;
    double top;
  } fileRows[] = {{f.lblFormat, 60}, {f.lblFileName, 450}, {f.lblDataField, 840}};
  for (auto& row : fileRows) {
    row.label = label(f.pnlBottom);
    Place(row.label, {kFilesLeft, row.top + 40, 950, 250});
  }
  Place(f.cboFormat, {1100, 60, 2600, kRow});
  layout.txtFileName = {1100, 450, 0, kRow};
  layout.txtDataField = {1100, 840, 0, kRow};
  f.lblFileName->setBuddy(f.txtFileName);

  // Command buttons.
  f.pnlBottom2 = frame(client);
  layout.pnlBottom2 = {0, 0, 0, kBottom2Height};
  f.cmdScan = new QPushButton(f.pnlBottom2);
  f.cmdScanNext = new QPushButton(f.pnlBottom2);
  f.cmdAutoMode = new QPushButton(f.pnlBottom2);
  f.cmdExit = new QPushButton(f.pnlBottom2);
  for (Box* b : {&layout.cmdScan, &layout.cmdScanNext, &layout.cmdAutoMode, &layout.cmdExit})
    *b = {0, 100, kCommandWidth, 400};

  for (QWidget* w : {static_cast<QWidget*>(f.pnlTop), static_cast<QWidget*>(made.pnlButtons),
                     static_cast<QWidget*>(f.pnlFiles), static_cast<QWidget*>(f.pnlRight),
                     static_cast<QWidget*>(f.pnlBottom), static_cast<QWidget*>(f.pnlBottom2)})
    w->setObjectName("panel");
  return made;
}

void SetCaptions(Form& f) {
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
    if (!object) continue;
    // The contents list's title names its folder once one is listed.
    if (object == f.lblTitle[1] && !f.LastListedFolder.isEmpty()) continue;
    QString text = LoadResString(id);
    if (auto* l = qobject_cast<QLabel*>(object)) l->setText(text);
    else if (auto* b = qobject_cast<QAbstractButton*>(object)) b->setText(text);
    else if (auto* g = qobject_cast<QGroupBox*>(object)) g->setTitle(text);
    else if (auto* m = qobject_cast<QMenu*>(object)) m->setTitle(text);
    else if (auto* a = qobject_cast<QAction*>(object)) a->setText(text);
  }
  if (f.lvContentsOf)
    f.lvContentsOf->setHeaderLabels({LoadResString(2237), LoadResString(2238), LoadResString(2239)});
}

ScanRequest ReadScanRequest(const Form& f) {
  auto text = [](const QComboBox* box) { return box ? box->currentText() : QString(); };
  auto checked = [](const QRadioButton* button) { return button && button->isChecked(); };
  ScanRequest r;
  r.format = text(f.cboFormat);
  r.formatType = f.cboFormat ? f.cboFormat->currentData().toInt() : 0;
  r.resolution = text(f.cboResolution);
  r.originalWidth = text(f.cboOriginalWidth);
  r.leadingEdge = f.cboLeadingEdge ? static_cast<int16_t>(f.cboLeadingEdge->currentIndex()) : 0;
  r.scannerSpeed = text(f.cboScannerSpeed);
  r.speedIndex = f.cboScannerSpeed ? f.cboScannerSpeed->currentIndex() : 0;
  r.imageMode = {checked(f.optLineArt), checked(f.optPhoto1), checked(f.optPhoto2)};
  if (f.txtDataField && !f.txtDataField->isHidden()) r.dataField = f.txtDataField->text();
  return r;
}

void chkAutoSetPrint_Click(Station& st, Form& f) {
  const bool wanted = f.chkAutoSetPrint->isChecked();
  if (SetAutoSetPrint(st, wanted) == wanted) return;
  // It did not come on: the box shows it off, without running this again.
  QSignalBlocker block(f.chkAutoSetPrint);
  f.chkAutoSetPrint->setChecked(false);
}

void SwitchAutoSetPrintOff(Station& st, Form& f) {
  if (!f.chkAutoSetPrint || !f.chkAutoSetPrint->isChecked()) return;
  {
    QSignalBlocker block(f.chkAutoSetPrint);
    f.chkAutoSetPrint->setChecked(false);
  }
  SetAutoSetPrint(st, false);
}

void WidenDriveFrame(Form& f, MainLayout& layout, double grow) {
  layout.pnlDriveData.width += grow;
  layout.pnlRight.width += grow;
  Place(f.pnlDriveData, layout.pnlDriveData);
  Place(f.dlbDrive, DriveListPlace(layout));
  for (QWidget* moved : {static_cast<QWidget*>(f.fraSettings), static_cast<QWidget*>(f.fraOptions),
                         static_cast<QWidget*>(f.fraThreshold)})
    moved->move(moved->x() + TwipsToPixels(grow, moved), moved->y());
}

}  // namespace varnel
