#include "tests/print/print_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <cstring>

#include "tests/converters/testdata.h"

namespace printtest {
namespace {

void Put(QByteArray& record, int offset, const QByteArray& text, int size) {
  QByteArray padded = text.left(size);
  padded += QByteArray(size - padded.size(), ' ');
  record.replace(offset, size, padded);
}

void Put16(QByteArray& record, int offset, int16_t value) {
  record[offset] = char(value & 0xFF);
  record[offset + 1] = char((value >> 8) & 0xFF);
}

}  // namespace

QByteArray ExpectedRecord::Bytes() const {
  QByteArray r(330, '\0');
  Put(r, 0, jobName, 8);
  Put(r, 8, ptrName, 12);
  Put(r, 20, imagePath, 128);
  Put(r, 148, title, 30);
  Put(r, 178, text, 30);
  Put(r, 208, media, 6);
  Put(r, 214, comment, 30);
  r[244] = 'R';
  r.replace(248, 4, QByteArray("\x00\x00\xC8\x42", 4));  // 100.0 as a single
  Put16(r, 282, fileCount);
  Put16(r, 284, copies);
  Put16(r, 286, setFlag);
  Put16(r, 288, 100);
  r.replace(292, 4, QByteArray("\x00\x00\x00\x3F", 4));  // 0.5
  return r;
}

void WriteScanTiff(const QString& hostPath, int width, int height) {
  QDir().mkpath(QFileInfo(hostPath).path());
  convtest::WriteBytes(hostPath.toStdString(),
                       convtest::ScanFileBytes(convtest::Drawing(uint32_t(width), uint32_t(height))));
}

bool WriteTlc(const QString& hostPath, int width, int height) {
  QString tiff = hostPath + ".scan.tif";
  WriteScanTiff(tiff, width, height);
  QString dir = QFileInfo(hostPath).path();
  int code = QProcess::execute(JUX_BIN_DIR "/file2tlc",
                               {"-Q", dir + "/f2t.msg", "-E", dir + "/f2t.err", "-o", hostPath, tiff});
  QFile::remove(tiff);
  return code == 0 && QFile::exists(hostPath);
}

QStringList PdfPages(const QString& outputDir) {
  return QDir(outputDir).entryList({"*.pdf"}, QDir::Files, QDir::Name);
}

int PageCount(const QString& pdfFile) {
  QFile file(pdfFile);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  QByteArray pdf = file.readAll();
  if (!pdf.startsWith("%PDF")) return -1;
  return int(QString::fromLatin1(pdf).count(QRegularExpression("/Type\\s*/Page(?![s])")));
}

}  // namespace printtest
