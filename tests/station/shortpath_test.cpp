// A scan filed in a folder with a blank in its name, converted by the real
// file2tlc through the workstation's option line: the converters' option
// lines are never quoted, so the workstation hands them short (8.3) paths,
// which file2tlc must resolve to the same files.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <string>
#include <vector>

#include "tests/varnel/support/station_fixture.h"
#include "varnel/core/helpers.h"
#include "varnel/pipeline/convert.h"

namespace varnel {
namespace {

class ShortPathChain : public testing::StationTest {
 protected:
  ShortPathChain() {
    st_->File2TlcExe = JUX_BIN_DIR "/file2tlc";
    st_->TempDir = "C:\\Temp\\";
    st_->MiniViewSize = "1000,700";
    QDir().mkpath(Host("Temp"));
  }

  // A 1-bit TIFF of 64 x 16 pixels with a black band, as the scanner leaves one.
  void WriteScan(const QString& relative) {
    QDir().mkpath(QFileInfo(Host(relative)).path());
    TIFF* tif = TIFFOpen(Host(relative).toUtf8().constData(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 64);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 16);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
    std::vector<uint8_t> row(8);
    for (uint32_t y = 0; y < 16; ++y) {
      std::fill(row.begin(), row.end(), y >= 4 && y < 8 ? 0xFF : 0x00);
      TIFFWriteScanline(tif, row.data(), y, 0);
    }
    TIFFClose(tif);
  }
};

TEST_F(ShortPathChain, BlanksInFolderAndFileNamesReachTheConverterWhole) {
  WriteScan("My Scans/Drawing 1.tif");
  const QString folder = GetShortPath("C:\\My Scans");
  const QString scanFile = GetShortPath("C:\\My Scans\\Drawing 1.tif");
  ASSERT_FALSE(folder.isEmpty());
  ASSERT_FALSE(scanFile.isEmpty());
  EXPECT_FALSE(folder.contains(' ')) << folder.toStdString();
  EXPECT_FALSE(scanFile.contains(' ')) << scanFile.toStdString();

  File2Tlc(*st_, scanFile, folder + "\\$$Scan.tlc", 400, 0, false, false, false);
  const QByteArray tlc = ReadFile("My Scans/$$Scan.tlc");
  EXPECT_TRUE(tlc.startsWith("Virozoro Size 64,16")) << ReadFile("Temp/Tile.Err").toStdString();
  EXPECT_TRUE(ReadFile("Temp/Tile.Err").isEmpty());

  // The long names split at their blanks: the conversion cannot happen.
  QFile::remove(Host("My Scans/$$Scan.tlc"));
  File2Tlc(*st_, "C:\\My Scans\\Drawing 1.tif", "C:\\My Scans\\$$Scan.tlc", 400, 0, false, false,
           false);
  EXPECT_FALSE(Exists("My Scans/$$Scan.tlc"));
}

}  // namespace
}  // namespace varnel
