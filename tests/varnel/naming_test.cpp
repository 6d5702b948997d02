// The plain text work of scan file naming and the scan list.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QComboBox>

#include "tests/varnel/support/fakes.h"
#include "varnel/files/naming.h"
#include "varnel/files/scanlist.h"
#include "varnel/files/schemes.h"

namespace varnel {
namespace {

TEST(ParseFileName, SplitsDriveFolderNameAndExtension) {
  struct Case {
    const char* full;
    const char *drive, *folder, *name, *ext;
  } const cases[] = {
      {"C:\\SCANS\\A.TIF", "C:", "\\SCANS\\", "A", "TIF"},
      {"C:\\A.TIF", "C:", "\\", "A", "TIF"},
      {"c:\\scans\\sub\\x1.tlc", "C:", "\\scans\\sub\\", "x1", "tlc"},
      {"MY FILE.TIF", "", "", "MY FILE", "TIF"},    // a blank before the name's dot is no stop
      {"A.B X", "", "", "A.B X", ""},               // a blank comes before any dot
      {"NAME", "", "", "NAME", ""},
      {"C:\\DIR.X\\NAME", "C:", "\\DIR.X\\", "NAME", ""},  // a folder's dot is no extension
      {"C:\\SCANS\\A.B.TIF", "C:", "\\SCANS\\", "A.B", "TIF"},
      {"D:NAME.TLC", "D:", "", "NAME", "TLC"},
      {"C:\\SCANS\\", "C:", "\\SCANS\\", "", ""},
      {"", "", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.full);
    QString drive = "x", folder = "x", name = "x", ext = "x";
    ParseFileName(c.full, drive, folder, name, ext);
    EXPECT_EQ(drive, c.drive);
    EXPECT_EQ(folder, c.folder);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(ext, c.ext);
  }
  EXPECT_EQ(ParsePath("C:\\SCANS\\A.TIF"), "C:\\SCANS");
  EXPECT_EQ(ParsePath("C:\\A.TIF"), "C:");
}

TEST(NextCounterName, CountsTheTrailingNumberKeepingItsWidth) {
  struct Case {
    const char *name, *next;
  } const cases[] = {
      {"", "TEMP001"},
      {"TEMP001", "TEMP002"},
      {"A009", "A010"},
      {"X99", "X100"},
      {"A999", "A1000"},
      {"TEMP999", "TEMP1000"},
      {"ABC", "ABC1"},
      {"123", "124"},
      {"A1B2", "A1B3"},
      {"0", "1"},
      {"A000000000", "A000000001"},
      {"SCAN0000000001", "SCAN0000000002"},  // ten digits: the first stays in the prefix
      {"X9999999999", "X91000000000"},      // nine of them counted: 999999999 + 1
  };
  for (const Case& c : cases) EXPECT_EQ(NextCounterName(c.name), c.next) << c.name;
}

TEST(FileNameTexts, SizeFreeSpaceAndSelection) {
  const std::pair<qint64, const char*> sizes[] = {
      {0, " 0KB"}, {1, " 1KB"}, {1024, " 1KB"}, {1025, " 2KB"}, {1500, " 2KB"}, {1048576, " 1024KB"}};
  for (auto [bytes, text] : sizes) EXPECT_EQ(SizeText(bytes), text) << bytes;

  QString drive = DriveFreeText("c:", 1234LL * 1024 * 1024 + 5);
  EXPECT_EQ(drive, " c: 1234 Meg. Free");
  EXPECT_EQ(FreeSpaceFromDriveText(drive), "Free Space on Scan Drive:1234 Meg.");

  struct Sel {
    const char* text;
    int start, length;
  } const selections[] = {
      {"C:\\SCANS\\TEMP001.TLC", 9, 7},
      {"C:\\SCANS\\TEMP001", 9, 7},
      {"TEMP001.TLC", 0, 7},
      {"A.B\\C", 0, 1},  // the selection ends at the last dot; no backslash before it
      {"", 0, 0},
  };
  for (const Sel& s : selections) {
    int start = -1, length = -1;
    BaseNameSelection(s.text, start, length);
    EXPECT_EQ(start, s.start) << s.text;
    EXPECT_EQ(length, s.length) << s.text;
  }
  for (char c : QByteArray("\"*/<>?|")) EXPECT_TRUE(IsDiscardedFileNameKey(c)) << c;
  for (char c : QByteArray(":\\.aZ9 _-")) EXPECT_FALSE(IsDiscardedFileNameKey(c)) << c;
}

TEST(GetToken, TheStateCarriesATextFromTokenToToken) {
  struct Call {
    const char* text;
    const char* delimiter;  // null: go on with the previous text
    const char* token;
  } const calls[] = {
      {"A,,B", ",", "A"}, {"ignored", nullptr, ""}, {"", nullptr, "B"}, {"", nullptr, ""},
      {"", nullptr, ""},
      {"X;Y", ";", "X"},  {"", nullptr, "Y"},
      {"ABC", "", ""},    {"", nullptr, ""},  // an empty delimiter gives nothing
      {"NONE", ",", "NONE"}, {"", nullptr, ""},
  };
  TokenState state;
  for (const Call& c : calls) {
    std::optional<QString> delimiter;
    if (c.delimiter) delimiter = QString(c.delimiter);
    EXPECT_EQ(GetToken(state, c.text, delimiter), c.token) << c.text;
  }
  // Another state is not disturbed by it.
  TokenState first, second;
  EXPECT_EQ(GetToken(first, "A,B", ","), "A");
  EXPECT_EQ(GetToken(second, "X,Y", ","), "X");
  EXPECT_EQ(GetToken(first, QString()), "B");
}

TEST(ParseScanList, SkipsBlankLinesUpperCasesAndKeepsACommaInEveryEntry) {
  ScanListText list = ParseScanList(
      "c:\\job12\\dwg0001.tif,Rev A,Sheet 1,,,xxd1\r\n   \r\n\r\n"
      "  c:\\job12\\dwg0002.tif  \n"
      "d:\\x.tlc,\tb\rlast,one");
  ASSERT_EQ(list.entries.size(), 4);
  EXPECT_EQ(list.entries[0], "C:\\JOB12\\DWG0001.TIF,REV A,SHEET 1,,,XXD1");
  EXPECT_EQ(list.entries[1], "C:\\JOB12\\DWG0002.TIF,");  // no comma: trimmed, one appended
  EXPECT_EQ(list.entries[2], "D:\\X.TLC,\tB");
  EXPECT_EQ(list.entries[3], "LAST,ONE");
  EXPECT_EQ(list.firstLeftOut, 0);
  EXPECT_EQ(EntrySchemeName("XXD1"), "D1");
  EXPECT_EQ(EntrySchemeName("XX D1   "), "D1");
  EXPECT_EQ(EntrySchemeName("X 5"), "5");

  QByteArray many;
  for (int i = 1; i <= 1003; ++i) many += "F" + QByteArray::number(i) + ",\r\n\r\n";
  list = ParseScanList(many);
  ASSERT_EQ(list.entries.size(), kMaxScanListEntries);
  EXPECT_EQ(list.entries.last(), "F1000,");
  EXPECT_EQ(list.firstLeftOut, 2001);  // F1001, after a blank line each
}

TEST(ParseScanList, ReadsNoMoreThanItKeepsAndLeavesOverlongLinesOut) {
  // Two hundred thousand entries: reading stops just after the thousandth.
  QByteArray huge;
  huge.reserve(200'000 * 12);
  for (int i = 0; i < 200'000; ++i) huge += "C:\\F" + QByteArray::number(i % 10000) + ",\r\n";
  QBuffer buffer(&huge);
  buffer.open(QIODevice::ReadOnly);
  ScanListText list = ParseScanList(buffer);
  EXPECT_EQ(list.entries.size(), kMaxScanListEntries);
  EXPECT_EQ(list.firstLeftOut, 1001);
  EXPECT_LT(buffer.pos(), 64 * 1024);

  // One 3 MB line among sane ones, a byte-order mark in front, lone CRs as line ends.
  QByteArray bytes = "\xEF\xBB\xBF" "c:\\a.tlc,x\r\n" + QByteArray(3'000'000, 'A') + "\r\nB,\rC,\n" +
                     QByteArray(kMaxScanListLine, 'D') + "\n" + QByteArray(kMaxScanListLine + 1, 'E');
  list = ParseScanList(bytes);
  EXPECT_EQ(list.entries, QStringList({"C:\\A.TLC,X", "B,", "C,", QString(kMaxScanListLine, 'D') + ","}));
  EXPECT_EQ(list.longLines, QList<int>({2, 6}));
  EXPECT_EQ(list.firstLeftOut, 0);
}

TEST(SelectComboItemTest, SelectsByLeadingTextAndRaisesTheListHandler) {
  testing::EnsureQtApp();
  QComboBox list;
  int changes = 0;
  QObject::connect(&list, &QComboBox::currentIndexChanged, [&] { ++changes; });
  SelectComboItem("x", &list);  // empty list: nothing happens
  EXPECT_EQ(list.currentIndex(), -1);
  list.addItems({"Architect", "DEFAULT"});
  changes = 0;
  SelectComboItem("default", &list);
  EXPECT_EQ(list.currentIndex(), 1);
  SelectComboItem("none", &list);
  EXPECT_EQ(list.currentIndex(), 1);
  EXPECT_EQ(changes, 1);
}

}  // namespace
}  // namespace varnel
