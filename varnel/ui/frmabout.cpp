#include "varnel/ui/frmabout.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>

#include "varnel/core/strings.h"
#include "varnel/ui/frmmain.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace varnel {

bool GetKeyValue(RegistryRoot root, const QString& keyName, const QString& subKeyRef,
                 QString& keyValue) {
  keyValue.clear();
#ifdef _WIN32
  (void)root;
  HKEY key;
  // Open with full access (0x2003F).
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<LPCWSTR>(keyName.utf16()), 0, 0x2003F,
                    &key) != ERROR_SUCCESS)
    return false;
  // Read into a buffer of 1024 characters.
  wchar_t buffer[1024];
  DWORD type = 0, size = sizeof buffer;
  bool ok = RegQueryValueExW(key, reinterpret_cast<LPCWSTR>(subKeyRef.utf16()), nullptr, &type,
                             reinterpret_cast<LPBYTE>(buffer), &size) == ERROR_SUCCESS;
  RegCloseKey(key);
  if (!ok) return false;
  // Cut to the returned length, less a closing NUL.
  int length = static_cast<int>(size / sizeof(wchar_t));
  if (length > 0 && buffer[length - 1] == L'\0') --length;
  // A string value is returned as it is; other types as their text.
  keyValue = QString::fromWCharArray(buffer, length);
  return true;
#else
  (void)root;
  (void)keyName;
  (void)subKeyRef;
  return false;
#endif
}

QPixmap StationPicture(int size) {
  QPixmap picture(size, size);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  double u = size / 16.0;
  // The sheet going in, with a few drawn lines.
  p.setPen(QPen(Qt::darkGray, u * 0.3));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(4 * u, 1 * u, 8 * u, 8 * u));
  p.drawLine(QPointF(5 * u, 3 * u), QPointF(11 * u, 3 * u));
  p.drawLine(QPointF(5 * u, 5 * u), QPointF(9 * u, 7 * u));
  // The scanner's body and its feed slot.
  p.setBrush(QColor(0x8b, 0, 0));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(QRectF(1 * u, 8 * u, 14 * u, 5 * u), u, u);
  p.setBrush(Qt::black);
  p.drawRect(QRectF(3 * u, 8.5 * u, 10 * u, 0.6 * u));
  // Its stand.
  p.setBrush(Qt::darkGray);
  p.drawRect(QRectF(2.5 * u, 13 * u, u, 2.5 * u));
  p.drawRect(QRectF(12.5 * u, 13 * u, u, 2.5 * u));
  return picture;
}

frmAbout::frmAbout(Station& st, QWidget* parent) : QDialog(parent), st_(st) {
  setObjectName("frmAbout");
  picIcon = new QLabel;
  picIcon->setPixmap(StationPicture(48));
  lblTitle = new QLabel;
  QFont title = lblTitle->font();
  title.setPointSize(title.pointSize() + 4);
  title.setBold(true);
  lblTitle->setFont(title);
  lblVersion = new QLabel;
  lblDescription = new QLabel(LoadResString(resAboutDescription));
  lblDisclaimer = new QLabel(LoadResString(resAboutDisclaimer));
  for (QLabel* l : {lblDescription, lblDisclaimer}) l->setWordWrap(true);
  cmdOK = new QPushButton;
  cmdSysInfo = new QPushButton;
  auto* grid = new QGridLayout(this);
  grid->addWidget(picIcon, 0, 0, 3, 1, Qt::AlignTop);
  grid->addWidget(lblTitle, 0, 1, 1, 2);
  grid->addWidget(lblVersion, 1, 1, 1, 2);
  grid->addWidget(lblDescription, 2, 1, 1, 2);
  grid->addWidget(lblDisclaimer, 3, 0, 1, 2);
  grid->addWidget(cmdOK, 3, 2, Qt::AlignTop);
  grid->addWidget(cmdSysInfo, 4, 2);
  // A fixed size: the dialog cannot be made larger or smaller.
  grid->setSizeConstraint(QLayout::SetFixedSize);
  for (QLabel* l : {lblDescription, lblDisclaimer}) l->setFixedWidth(320);

  // Form_Load.
  QString app = LoadResString(resAppTitle);
  setWindowTitle(LoadResString(resAboutCaption) + " " + app);
  lblVersion->setText(VersionText());
  lblTitle->setText(app);
  cmdOK->setText(LoadResString(2382));
  cmdSysInfo->setText(LoadResString(resSysInfo));
  cmdOK->setDefault(true);
  connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
  connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
}

void frmAbout::cmdOK_Click() { accept(); }

void frmAbout::cmdSysInfo_Click() {
  QString path;
  // The program's own path.
  if (GetKeyValue(RegistryRoot::LocalMachine, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH",
                  path)) {
    if (QProcess::startDetached(path, {})) return;
  } else if (GetKeyValue(RegistryRoot::LocalMachine, "SOFTWARE\\Microsoft\\Shared Tools Location",
                         "MSINFO", path)) {
    // The folder that holds it.
    QString program = path + "\\MSINFO32.EXE";
    if (QFileInfo::exists(program) && QProcess::startDetached(program, {})) return;
  }
  // Neither: the operator is told.
  st_.seams.prompts->MsgBox(LoadResString(resSysInfoUnavailable), Prompts::Buttons::Ok,
                            Prompts::Icon::None, LoadResString(resAppTitle));
}

}  // namespace varnel
