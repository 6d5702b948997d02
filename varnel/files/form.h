// The main window's controls and members as the workstation's procedures see
// them. frmMain creates the widgets, places them and fills this record; the
// procedures of files/ and pipeline/ work on it (and on the Station) without
// knowing the window. Tests fill it with stand-alone offscreen widgets.
//
// Nothing here owns the widgets: they belong to the window (or the test) that
// created them and live as long as it does. A control a procedure does not
// need may be left null by a test.
#pragma once

#include <QString>
#include <cstdint>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QSlider;
class QTreeWidget;
class QWidget;

namespace varnel {

class DriveListBox;  // drive list: drive letter, colon and free space or volume name
class DirListBox;    // folder list: -1 the folder itself, -2 its parent, 0.. its subfolders
class FileListBox;   // hidden: every file of a folder

struct Form {
  QWidget* window = nullptr;  // the main window itself

  // Title band.
  QFrame* pnlTop = nullptr;
  QLabel* pnlJUX = nullptr;
  QLabel* pnlAppTitle = nullptr;
  QLabel* lblVersion = nullptr;

  // Folder browser and contents (left area).
  QFrame* pnlFiles = nullptr;
  QLabel* lblTitle[2] = {nullptr, nullptr};  // "All Folders", "Contents of"
  DirListBox* DirMasterList = nullptr;
  QTreeWidget* lvContentsOf = nullptr;  // columns Name, Size, Modified
  QWidget* imgSplitter = nullptr;
  QWidget* picSplitter = nullptr;
  QListWidget* lstDisplayScanInfo = nullptr;
  FileListBox* FileMasterList = nullptr;
  DriveListBox* DriveMasterList = nullptr;
  QPushButton* cmdCreateDir = nullptr;
  QPushButton* cmdRemoveDir = nullptr;

  // Parameter panel (right).
  QFrame* pnlRight = nullptr;
  QFrame* pnlDriveData = nullptr;
  DriveListBox* dlbDrive = nullptr;
  QGroupBox* fraSettings = nullptr;
  QLabel* lblScheme = nullptr;
  QComboBox* cboSettings = nullptr;
  QPushButton* cmdSaveAs = nullptr;
  QPushButton* cmdDelete = nullptr;
  QLabel *lblOriginalWidth = nullptr, *lblResoultion = nullptr, *lblLeadingEdge = nullptr,
         *lblScannerSpeed = nullptr;
  QComboBox *cboOriginalWidth = nullptr, *cboResolution = nullptr, *cboLeadingEdge = nullptr,
            *cboScannerSpeed = nullptr;
  QGroupBox* fraOptions = nullptr;
  QCheckBox *chkViewFlag = nullptr, *chkEditFlag = nullptr, *chkMirrorFlag = nullptr,
            *chkInvertFlag = nullptr, *chkAutoSetPrint = nullptr;
  QGroupBox* fraOriginal = nullptr;
  QRadioButton *optLineArt = nullptr, *optPhoto1 = nullptr, *optPhoto2 = nullptr;
  QGroupBox* fraThreshold = nullptr;
  QLineEdit* txtThreshold = nullptr;
  QSlider* sldThreshold = nullptr;

  // File rows and command buttons (bottom).
  QFrame* pnlBottom = nullptr;
  QLabel *lblFormat = nullptr, *lblFileName = nullptr, *lblDataField = nullptr;
  QComboBox* cboFormat = nullptr;
  QLineEdit *txtFileName = nullptr, *txtDataField = nullptr;
  QFrame* pnlBottom2 = nullptr;
  QPushButton *cmdScan = nullptr, *cmdScanNext = nullptr, *cmdAutoMode = nullptr,
              *cmdExit = nullptr;

  // Menu.
  QMenu* mnuFile = nullptr;
  QAction *mnuViewOptions = nullptr, *mnuFileClose = nullptr;

  // Members of the window.
  bool SplitterDragging = false;
  bool DirMouseDown = false;  // a mouse button is held on DirMasterList
  int16_t Threshold = -1;     // scanner threshold read at start-up
  bool LoadingScheme = false; // a scheme is being loaded: changes are not "edits"
  QString SettingsTag;        // cboSettings' tag: the scheme last loaded

  // The file fields last accepted by UpdateFileFields, restored after a Cancel:
  // drive "C:", folder "\SCANS\" ("\" for the root), name, extension, full name.
  QString SavedDrive, SavedFolder, SavedName, SavedExt, SavedFileName;
  QString LastListedFolder;  // upper case: the folder LoadList showed last
  QString SchemeFile;        // full path of the scheme file loaded last
  QString FastLabel, NormLabel;  // the scanner speed entries' labels
};

}  // namespace varnel
