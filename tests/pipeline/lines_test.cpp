// The command and option lines the workstation hands to juxscan and the
// converters, the strip edit of the scan file's header, the TLC header and
// the statistics report, and the scan database lines.
#include <gtest/gtest.h>

#include <QFile>
#include <QtEndian>

#include "tests/varnel/support/station_fixture.h"
#include "varnel/core/scan2file.h"
#include "varnel/pipeline/convert.h"
#include "varnel/pipeline/database.h"
#include "varnel/pipeline/tlcstats.h"

namespace varnel {
namespace {

using testing::StationTest;

TEST(ScanArgsTest, ScaleAndArgumentLine) {
  struct Case {
    int16_t dpi, type;
    int32_t scale;
  } cases[] = {{100, 1, 250}, {200, 1, 500}, {300, 1, 750}, {150, 1, 375}, {400, 1, 1000},
               {2, 1, 5} /* 5.0 exactly */, {1, 1, 2} /* 2.5: halves to even */,
               {3, 1, 8} /* 7.5: halves to even */, {200, 2, 1000}, {200, 3, 1000}};
  for (const Case& c : cases) EXPECT_EQ(ScanScale(c.dpi, c.type), c.scale) << c.dpi << " " << c.type;

  EXPECT_EQ(ScanArgs("", 13248, 500, "0", "C:\\SCANS\\A.TIF"), "/L:13248 /S:500 /P:0 /O:C:\\SCANS\\A.TIF");
  EXPECT_EQ(ScanArgs("/T:90 ", 0, 1000, "", "C:\\T\\Brevik.TIF"), "/T:90 /L:0 /S:1000 /P: /O:C:\\T\\Brevik.TIF");

  struct Mode {
    ImageModeButtons b;
    const char* arg;
  } modes[] = {{{true, false, false}, "0"}, {{false, true, false}, "1"},
               {{false, false, true}, "2"}, {{}, ""}, {{true, true, true}, "0"}};
  for (const Mode& m : modes) EXPECT_EQ(ImageModeArg(m.b), m.arg);
}

class OptionLineTest : public StationTest {
 protected:
  OptionLineTest() {
    st_->TempDir = "C:\\TEMP\\";
    st_->MiniViewSize = "1000,700";
  }
};

TEST_F(OptionLineTest, TheTlcConverterLine) {
  EXPECT_EQ(File2TlcLine(*st_, "C:\\TEMP\\Brevik.TIF", "C:\\SCANS\\$$Scan.tlc", 200, 1, false, false),
            "-Q C:\\TEMP\\Tile.Out -E C:\\TEMP\\Tile.Err -o C:\\SCANS\\$$Scan.tlc -r 1 -D 200 -M "
            "1000,700 C:\\TEMP\\Brevik.TIF");
  struct Case {
    const char* machine;
    bool toyota;
    int16_t dpi, rotate;
    bool invert, mirror;
    const char* middle;  // between "-o X" and " -M"
  } cases[] = {
      {"6737", false, 300, 0, false, false, " -r 0 -D 400"},
      {"6737", false, 200, 0, false, false, " -r 0 -D 200"},
      {"6741", false, 300, 2, true, false, " -r 2 -D 300 -I"},
      {"6741", false, 400, 3, false, true, " -r 7 -D 400"},
      {"6741", true, 400, 3, false, true, " -r 4 -D 400"},
      {"6741", true, 100, 1, true, false, " -r 0 -D 100 -I"},
  };
  for (const Case& c : cases) {
    st_->MachineType = c.machine;
    st_->ToyotaFlag = c.toyota;
    int16_t rotate = c.rotate;
    EXPECT_EQ(File2TlcLine(*st_, "S", "T", c.dpi, rotate, c.invert, c.mirror),
              QString("-Q C:\\TEMP\\Tile.Out -E C:\\TEMP\\Tile.Err -o T") + c.middle + " -M 1000,700 S")
        << c.machine << " " << c.dpi;
    EXPECT_EQ(rotate, c.rotate);  // the caller's value is not changed
  }
}

TEST_F(OptionLineTest, ExportAndStatisticsLines) {
  EXPECT_EQ(Tlc2RastLine(*st_, "C:\\TEMP\\Brevik.Tlc", "C:\\SCANS\\$$Scan.out", "-T"),
            "-E C:\\TEMP\\TlcPr.Err -Q C:\\TEMP\\TlcPr.Out -T -o C:\\SCANS\\$$Scan.out C:\\TEMP\\Brevik.Tlc");
  EXPECT_EQ(StatsArgs(*st_, "C:\\SCANS\\A.TLC"),
            "-E C:\\TEMP\\TlcPr.Err -Q C:\\TEMP\\FileStat.Dat -# -T -o C:\\TEMP\\FileStat.Tif C:\\SCANS\\A.TLC");
}

// A juxscan-like TIFF: 8-byte header, directory at 8, PackBits data after it.
QByteArray ScanTiff(uint32_t width, uint32_t length, uint32_t compression, const QByteArray& data,
                    const char* order = "II") {
  const uint16_t tags[][2] = {{256, 4}, {257, 4}, {259, 3}, {262, 3}, {273, 4}, {278, 4}, {279, 4}};
  const int n = 7;
  uint32_t dataOffset = 8 + 2 + n * 12 + 4;
  uint32_t values[] = {width, length, compression, 0, dataOffset, length, uint32_t(data.size())};
  QByteArray f(order, 2);
  char b[4];
  qToLittleEndian<uint16_t>(42, b), f.append(b, 2);
  qToLittleEndian<uint32_t>(8, b), f.append(b, 4);
  qToLittleEndian<uint16_t>(n, b), f.append(b, 2);
  for (int i = 0; i < n; ++i) {
    qToLittleEndian<uint16_t>(tags[i][0], b), f.append(b, 2);
    qToLittleEndian<uint16_t>(tags[i][1], b), f.append(b, 2);
    qToLittleEndian<uint32_t>(1, b), f.append(b, 4);
    qToLittleEndian<uint32_t>(values[i], b), f.append(b, 4);
  }
  f.append(4, '\0');
  return f + data;
}
uint32_t EntryValue(const QByteArray& f, int index) {
  return qFromLittleEndian<uint32_t>(f.constData() + 8 + 2 + index * 12 + 8);
}

class StripTiffTest : public StationTest {};

TEST_F(StripTiffTest, TheOrientationPatchTakesTheLastPlanarEntry) {
  // Entries 3 (262) and 6 (279) retagged as 284: only the later one changes.
  QByteArray file = ScanTiff(16, 4, 32773, "\x00\x00");
  for (int index : {3, 6}) qToLittleEndian<uint16_t>(284, file.data() + 10 + index * 12);
  WriteFile("out.tif", file);
  EXPECT_TRUE(PatchOrientation("C:\\out.tif"));
  QByteArray after = ReadFile("out.tif");
  QByteArray expected = file;
  const char entry[12] = {0x12, 0x01, 3, 0, 1, 0, 0, 0, 8, 0, 0, 0};
  expected.replace(10 + 6 * 12, 12, QByteArray(entry, 12));
  EXPECT_EQ(after, expected);
  WriteFile("plain.tif", ScanTiff(16, 4, 32773, "\x00\x00"));
  EXPECT_FALSE(PatchOrientation("C:\\plain.tif"));
  EXPECT_EQ(ReadFile("plain.tif"), ScanTiff(16, 4, 32773, "\x00\x00"));
  EXPECT_FALSE(PatchOrientation("C:\\none.tif"));
  EXPECT_FALSE(Exists("none.tif"));
}

TEST_F(StripTiffTest, EveryResultCode) {
  // 16-pixel lines (2 bytes): line 1 a literal run, line 2 a repeat run, a
  // no-op byte, line 3 two one-byte literals, line 4 a repeat.
  const QByteArray data("\x01\xAA\xBB" "\xFF\x00" "\x80" "\x00\x11\x00\x22" "\xFF\xFF", 12);
  const uint32_t dataAt = 8 + 2 + 7 * 12 + 4;
  struct Case {
    const char* name;
    QByteArray file;  // empty: no file
    int32_t leading, trailing;
    std::optional<int> result;
    uint32_t length, offset;  // expected ImageLength / StripOffsets after the call
  } cases[] = {
      {"nothing to do", ScanTiff(16, 4, 32773, data), 0, 0, std::nullopt, 4, dataAt},
      {"trailing only", ScanTiff(16, 40, 32773, data), 0, 10, 0, 30, dataAt},
      {"one leading", ScanTiff(16, 4, 32773, data), 1, 0, 0, 3, dataAt + 3},
      {"no-op counted", ScanTiff(16, 4, 32773, data), 2, 1, 0, 1, dataAt + 5},
      {"three leading", ScanTiff(16, 4, 32773, data), 3, 0, 0, 1, dataAt + 10},
      {"big endian", ScanTiff(16, 4, 32773, data, "MM"), 1, 0, -1, 4, dataAt},
      {"too short", QByteArray("II*"), 1, 0, -1, 0, 0},
      {"missing", QByteArray(), 1, 0, -2, 0, 0},
      {"not PackBits", ScanTiff(16, 4, 4, data), 1, 1, -3, 4, dataAt},
      {"run past line end", ScanTiff(8, 4, 32773, data), 1, 0, -4, 4, dataAt},
      // Amounts that would leave no line are refused; the length never wraps around.
      {"fewer lines than leading", ScanTiff(16, 4, 32773, data), 5, 0, -5, 4, dataAt},
      {"leading and trailing exceed the lines", ScanTiff(16, 4, 32773, data), 3, 2, -5, 4, dataAt},
      {"leading and trailing take every line", ScanTiff(16, 4, 32773, data), 2, 2, -5, 4, dataAt},
      {"trailing alone beyond the lines", ScanTiff(16, 40, 32773, data), 0, 41, -5, 40, dataAt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(Host("scan.tif"));
    if (!c.file.isEmpty()) WriteFile("scan.tif", c.file);
    EXPECT_EQ(StripTiff("C:\\scan.tif", c.leading, c.trailing), c.result);
    if (c.file.size() < 100) continue;
    QByteArray after = ReadFile("scan.tif");
    EXPECT_EQ(EntryValue(after, 1), c.length);
    EXPECT_EQ(EntryValue(after, 5), c.length);  // RowsPerStrip with it
    EXPECT_EQ(EntryValue(after, 4), c.offset);
    EXPECT_EQ(EntryValue(after, 6), uint32_t(data.size()));  // StripByteCounts stays
    EXPECT_EQ(after.size(), c.file.size());
    EXPECT_EQ(after.mid(dataAt), data);  // no image byte moves
    if (c.result != 0) {
      EXPECT_EQ(after, c.file);  // a failed strip leaves the scan as it was
    }
  }
}

TEST(TlcHeaderTest, HeaderAndReport) {
  auto header = ParseTlcHeader("Virozoro Size 2400,3600 Density 200 Data 5000      \r\n");
  ASSERT_TRUE(header);
  EXPECT_EQ(header->SizeX, 2400);
  EXPECT_EQ(header->SizeY, 3600);
  EXPECT_EQ(header->Dpi, 200);
  EXPECT_FALSE(ParseTlcHeader("virozoro size 2400,3600 Density 200"));
  EXPECT_FALSE(ParseTlcHeader("II*"));
  auto noComma = ParseTlcHeader("Virozoro Size 2400 Density 300 ");
  ASSERT_TRUE(noComma);
  EXPECT_EQ(noComma->SizeY, 0);
  EXPECT_EQ(noComma->Dpi, 300);

  const QString pad = QString("Share of black dots").leftJustified(46) + ": ";
  struct Case {
    QStringList lines;
    std::optional<float> share;
  } cases[] = {
      {{"File: x", pad + "  0.00%"}, 0.0f},
      {{pad + "  0.35%"}, 0.35f},
      {{pad + "  1.50%", "other", pad + "  2.25%"}, 2.25f},  // the last line wins
      {{"File: x", "Black pixels: 12"}, std::nullopt},
      {{QString("Share of Black Dots").leftJustified(46) + ":   3.00%"}, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseStatReport(c.lines), c.share) << c.lines.join('|').toStdString();
}

class TlcStatsTest : public StationTest {
 protected:
  TlcStatsTest() {
    UseStationFolder();
    st_->TempDir = "C:\\Temp\\";
    WriteFile("Temp/.keep", "");
    // Writes the report the test puts in report.txt, and logs its arguments.
    WriteScript("bin/export", "printf '%s\\n' \"$*\" >> '" + Host("export.log").toUtf8() +
                                  "'\ncp '" + Host("report.txt").toUtf8() + "' '" +
                                  Host("Temp/FileStat.Dat").toUtf8() + "' 2>/dev/null; true");
    st_->ExportExe = "C:\\bin\\export";
  }
  QByteArray Tlc(int w, int h, int length) {
    QByteArray head = QString("Virozoro Size %1,%2 Density 400 Data 0").arg(w).arg(h).toLatin1();
    head = head.leftJustified(126, ' ') + "\r\n";
    return head + QByteArray(length - 128, '\x55');
  }
};

TEST_F(TlcStatsTest, TheBlankCheckRunsOnlyBelowTheThreshold) {
  const QString pad = QString("Share of black dots").leftJustified(46) + ": ";
  struct Case {
    const char* name;
    QByteArray file;  // empty: no file
    QString report;   // empty: the run writes none
    int32_t fileSize;
    float coverage;
    bool ran;
  } cases[] = {
      {"at the threshold", Tlc(1000, 1000, 1000), pad + "  0.00%", 1000, 1.0f, false},
      {"just below: blank", Tlc(1000, 1000, 999), pad + "  0.00%", 999, 0.0f, true},
      {"just below: drawn", Tlc(1000, 1000, 999), pad + "  0.35%", 999, 0.35f, true},
      {"no report", Tlc(1000, 1000, 999), "", 999, 0.0f, true},
      {"no size in the header", Tlc(0, 0, 200), "", 200, 1.0f, false},
      {"not a TLC file", QByteArray(300, 'x'), "", -2, 0.0f, false},
      {"missing", QByteArray(), "", -1, 0.0f, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(Host("export.log"));
    QFile::remove(Host("report.txt"));
    QFile::remove(Host("a.tlc"));
    if (!c.report.isEmpty()) WriteFile("report.txt", (c.report + "\r\n").toUtf8());
    if (!c.file.isEmpty()) WriteFile("a.tlc", c.file);
    int32_t x = 0, y = 0, size = 0;
    int16_t dpi = 0;
    float coverage = 0, perc = 0;
    GetTlcStats(*st_, "C:\\a.tlc", x, y, dpi, size, coverage, perc);
    EXPECT_EQ(size, c.fileSize);
    EXPECT_FLOAT_EQ(coverage, c.coverage);
    EXPECT_EQ(Exists("export.log"), c.ran);
    EXPECT_FALSE(Exists("Temp/FileStat.Dat"));  // the report goes once read
    if (c.ran) {
      EXPECT_EQ(ReadFile("export.log").trimmed(), StatsArgs(*st_, "C:\\a.tlc").toUtf8());
    }
  }
}

class DatabaseTest : public StationTest {
 protected:
  DatabaseTest() { UseStationFolder(); }
};

TEST_F(DatabaseTest, TwoFoldersAndTheProgramFolder) {
  EXPECT_EQ(DatabaseLine("DWG-1044", "C:\\SCANS\\TEMP001.TLC"), "\"DWG-1044\", \"C:\\SCANS\\TEMP001.TLC\"");
  WriteFile("A/.keep", "");
  WriteFile("B/.keep", "");
  Add2Database(*st_, "  first", "C:\\A\\ONE.TLC", "C:\\A\\");
  Add2Database(*st_, "   ", "C:\\A\\SKIP.TLC", "C:\\A");  // blank: nothing anywhere
  Add2Database(*st_, "", "C:\\A\\SKIP.TLC", "C:\\A");
  Add2Database(*st_, "say \"two\"", "C:\\B\\TWO.TLC", "C:\\B");
  Add2Database(*st_, "again", "C:\\B\\TWO.TLC", "C:\\B");  // a rescan adds a line
  EXPECT_EQ(ReadFile("A/Database.Asc"), "\"first\", \"C:\\A\\ONE.TLC\"\r\n");
  EXPECT_EQ(ReadFile("B/Database.Asc"),
            "\"say \"two\"\", \"C:\\B\\TWO.TLC\"\r\n\"again\", \"C:\\B\\TWO.TLC\"\r\n");
  EXPECT_EQ(ReadFile("Station/Database.All"),
            "\"first\", \"C:\\A\\ONE.TLC\"\r\n\"say \"two\"\", \"C:\\B\\TWO.TLC\"\r\n"
            "\"again\", \"C:\\B\\TWO.TLC\"\r\n");
  EXPECT_TRUE(prompts_.shown.isEmpty());
  // The system's single-byte code page in both files: one byte for the umlaut.
  Add2Database(*st_, QString::fromUtf8("M\u00fcller"), "C:\\A\\M.TLC", "C:\\A");
  EXPECT_TRUE(ReadFile("A/Database.Asc").endsWith("\"M\xfcller\", \"C:\\A\\M.TLC\"\r\n"));
  EXPECT_TRUE(ReadFile("Station/Database.All").endsWith("\"M\xfcller\", \"C:\\A\\M.TLC\"\r\n"));

  // A folder that cannot take the line: the operator is told which file.
  Add2Database(*st_, "lost", "C:\\Q\\X.TLC", "C:\\Q\\");
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_TRUE(prompts_.shown[0].text.contains("C:\\Q\\Database.Asc"));
  EXPECT_TRUE(ReadFile("Station/Database.All").endsWith("\"lost\", \"C:\\Q\\X.TLC\"\r\n"));
}

}  // namespace
}  // namespace varnel
