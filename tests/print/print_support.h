// Shared by the print tests: drawings as the station files them, and the
// record bytes laid out by hand (offsets written out here, not taken from the
// code's table, so that a wrong table cannot agree with itself).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace printtest {

// The bytes of one request record as the print monitor expects them.
struct ExpectedRecord {
  ExpectedRecord(QByteArray job, QByteArray ptr, QByteArray path)
      : jobName(std::move(job)), ptrName(std::move(ptr)), imagePath(std::move(path)) {}
  QByteArray jobName, ptrName, imagePath;
  QByteArray title = "JUX TARVEX", text, media = "Bond", comment = "Printed From Scanner";
  int16_t fileCount = 1, copies = 1, setFlag = 1;
  QByteArray Bytes() const;
};

// A drawing as the scan program's TIFF, and as TLC made from it by file2tlc.
void WriteScanTiff(const QString& hostPath, int width = 400, int height = 300);
bool WriteTlc(const QString& hostPath, int width = 400, int height = 300);

// The page files of the output folder (the staging folder not counted).
QStringList PdfPages(const QString& outputDir);
// Pages in one PDF file ("/Type /Page" objects).
int PageCount(const QString& pdfFile);

}  // namespace printtest
