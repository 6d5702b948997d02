#include "varnel/pipeline/naming.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>

#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/strings.h"

namespace varnel {

QString SimpleFileNaming::FolderOf(const QString& path) {
  qsizetype at = path.lastIndexOf('\\');
  return at < 0 ? QString() : path.left(at);
}

void SimpleFileNaming::LoadScanListFile(Station& st, const QString& fileName) {
  st.ScanListMode = false;
  if (fileName.trimmed().isEmpty() || !FileExists(fileName.trimmed())) return;
  QFile file(HostPath(fileName.trimmed()));
  if (!file.open(QIODevice::ReadOnly)) return;
  st.ScanFileList = QStringList(1001);
  int32_t count = 0;
  while (!file.atEnd() && count < 1000) {
    QString line = QString::fromLocal8Bit(file.readLine());
    while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
    if (line.trimmed().isEmpty()) continue;
    st.ScanFileList[++count] = line.toUpper();
    WriteLog(st, 1, " " + QString::number(count) + ": " + st.ScanFileList[count]);
  }
  if (count > 0) {
    st.ScanCnt = count;
    st.ScanListMode = true;
    st.CurScanCnt = 1;
  }
}

bool SimpleFileNaming::SetNewName() {
  bool advanced = true;
  if (st_.ScanListMode) {
    if (st_.CurScanCnt < st_.ScanCnt) {
      ++st_.CurScanCnt;
    } else {
      st_.seams.prompts->MsgBox(LoadResString(resListComplete),
                                Prompts::Buttons::Ok, Prompts::Icon::None,
                                LoadResString(resAppTitle));
      advanced = false;
    }
  } else if (st_.ScanName.isEmpty()) {
    st_.ScanName = "TEMP001";
  } else {
    // The trailing digits count up, keeping their width.
    qsizetype end = st_.ScanName.size(), start = end;
    while (start > 0 && end - start < 9 && st_.ScanName[start - 1].isDigit()) --start;
    QString run = st_.ScanName.mid(start);
    QString next = QString::number(run.toLongLong() + 1);
    st_.ScanName = st_.ScanName.left(start) + next.rightJustified(run.size(), '0');
  }
  DisplayFileName();
  return advanced;
}

void SimpleFileNaming::DisplayFileName() {
  QString format = form_.cboFormat ? form_.cboFormat->currentText() : QString("TLC");
  if (st_.ScanListMode && st_.CurScanCnt >= 1 && st_.CurScanCnt <= st_.ScanCnt) {
    QString entry = st_.ScanFileList[st_.CurScanCnt];
    qsizetype comma = entry.indexOf(',');
    QString file = comma < 0 ? entry : entry.left(comma);
    st_.ScanDrive = file.left(3);
    QString folder = FolderOf(file);
    st_.ScanFolder = folder.size() > 3 ? folder.mid(3) + "\\" : QString();
    QString base = file.mid(folder.size() + 1);
    qsizetype dot = base.lastIndexOf('.');
    st_.ScanName = dot < 0 ? base : base.left(dot);
    st_.ScanExt = dot < 0 ? format.left(3) : base.mid(dot + 1);
    // The entry's format is selected; an unknown one falls back to TLC.
    if (form_.cboFormat) {
      int tlc = -1, found = -1;
      for (int i = 0; i < form_.cboFormat->count() && found < 0; ++i) {
        QString code = form_.cboFormat->itemText(i).left(3).toUpper();
        if (code == "TLC" && tlc < 0) tlc = i;
        if (code == st_.ScanExt) found = i;
      }
      if (found < 0) {
        st_.ScanExt = "TLC";
        found = tlc;
      }
      if (found >= 0) form_.cboFormat->setCurrentIndex(found);
    }
    st_.ScanFileName = st_.ScanDrive + st_.ScanFolder + st_.ScanName + "." + st_.ScanExt;
    DisplayScanInfo();
  } else {
    if (st_.ScanDrive.isEmpty()) st_.ScanDrive = "C:\\";
    st_.ScanExt = format.left(3);
    st_.ScanFileName = st_.ScanDrive.left(2).toUpper() + "\\" + st_.ScanFolder + st_.ScanName +
                       "." + st_.ScanExt;
  }
  if (form_.txtFileName) form_.txtFileName->setText(st_.ScanFileName);
}

void SimpleFileNaming::LoadList(const QString& folderPath) {
  if (!form_.lvContentsOf) return;
  form_.lvContentsOf->clear();
  QDir dir(HostPath(folderPath));
  for (const QFileInfo& info : dir.entryInfoList(QDir::Files, QDir::Name)) {
    auto* item = new QTreeWidgetItem(form_.lvContentsOf);
    item->setText(0, info.fileName());
    item->setText(1, QString::number(info.size()));
    item->setText(2, info.lastModified().toString("yyyy-MM-dd hh:mm"));
  }
}

void SimpleFileNaming::DisplayScanInfo() {
  if (!form_.lstDisplayScanInfo || !st_.ScanListMode) return;
  form_.lstDisplayScanInfo->setVisible(true);
  form_.lstDisplayScanInfo->clear();
  form_.lstDisplayScanInfo->addItem("Scaning Image " + QString::number(st_.CurScanCnt) + " of " +
                                    QString::number(st_.ScanCnt) + ", " + st_.FreeSpaceText);
  QStringList fields = st_.ScanFileList[st_.CurScanCnt].split(',');
  for (int i = 0; i < 6; ++i) form_.lstDisplayScanInfo->addItem(fields.value(i) + "   ");
}

void SimpleFileNaming::UpdateFileFields(int /*source*/, const QString& drive, const QString& folder,
                                        const QString& name, const QString& /*fileName*/) {
  if (!st_.ScanListMode) {
    st_.ScanDrive = drive.left(2) + "\\";
    QString f = folder.startsWith('\\') ? folder.mid(1) : folder;
    st_.ScanFolder = f.isEmpty() || f.endsWith('\\') ? f : f + "\\";
    if (!name.isEmpty()) st_.ScanName = name;
  }
  DisplayFileName();
}

QString SimpleFileNaming::FolderListPath() {
  QString path = st_.ScanDrive.left(2) + "\\" + st_.ScanFolder;
  return path.size() > 3 && path.endsWith('\\') ? path.chopped(1) : path;
}

void SimpleFileNaming::ChangeFolder(const QString& drive, const QString& folder) {
  st_.ScanDrive = drive;
  st_.ScanFolder = folder;
}

}  // namespace varnel
