// Command-line splitting, number conversions and the string table.
#include <gtest/gtest.h>

#include <QSet>
#include <cmath>

#include "tests/varnel/support/fakes.h"
#include "varnel/core/cmdline.h"
#include "varnel/core/numbers.h"
#include "varnel/core/strings.h"

namespace varnel {
namespace {

TEST(CommandLineTest, SplitsTheWindowsWay) {
  struct Case {
    QString line;
    QStringList args;
  } cases[] = {
      {"/S /O:C:\\Temp\\JuxStat.Dat", {"/S", "/O:C:\\Temp\\JuxStat.Dat"}},
      {"\"C:\\Program Files\\x.exe\"  -a\t-b ", {"C:\\Program Files\\x.exe", "-a", "-b"}},
      {"a\\\"b c\"", {"a\\b c"}},  // backslashes are ordinary, quotes group
      {"x \"\" y", {"x", "", "y"}},
      {"   ", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.line.toStdString();
}

TEST(CommandLineTest, FindsAnUnquotedProgramWithBlanksAsTheShellDoes) {
  QSet<QString> files{"C:\\My Tools\\view er", "C:\\My Tools\\juxstat"};
  auto isFile = [&](const QString& p) { return files.contains(p); };
  struct Case {
    QString line;
    QString program;
    QStringList args;
  } cases[] = {
      {"C:\\My Tools\\juxstat /F /S", "C:\\My Tools\\juxstat", {"/F", "/S"}},
      {"C:\\My Tools\\view er C:\\a.tlc", "C:\\My Tools\\view er", {"C:\\a.tlc"}},
      {"\"C:\\My Tools\\juxstat\" /S", "C:\\My Tools\\juxstat", {"/S"}},
      {"C:\\My Tools\\view er", "C:\\My Tools\\view er", {}},
      {"C:\\Nowhere\\prog /x", "C:\\Nowhere\\prog", {"/x"}},
  };
  for (const Case& c : cases) {
    ShellCommand command = ParseShellCommand(c.line, isFile);
    EXPECT_EQ(command.program, c.program) << c.line.toStdString();
    EXPECT_EQ(command.arguments, c.args) << c.line.toStdString();
  }
  // The shortest name that is a file wins, as on Windows.
  files << "C:\\My";
  EXPECT_EQ(ParseShellCommand("C:\\My Stuff\\p", isFile).program, "C:\\My");
}

TEST(NumberTest, ValTakesTheLeadingNumber) {
  struct Case {
    QString text;
    double value;
  } cases[] = {{"12", 12},      {" 12.5abc", 12.5}, {"abc", 0},   {"", 0},
               {"1 2 3", 123},  {"-7", -7},         {"&H1F", 31}, {"&O17", 15},
               {"1.5E2x", 150}, {"2e", 2},          {".5", 0.5},  {"+", 0}};
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(Val(c.text), c.value) << c.text.toStdString();
}

TEST(NumberTest, RoundsHalvesToEvenAndRefusesWhatDoesNotFit) {
  struct Case {
    double value;
    std::optional<int32_t> rounded;
  } cases[] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {2.4, 2}, {2.6, 3}, {0, 0},
               {3e9, std::nullopt}, {INFINITY, std::nullopt}};
  for (const Case& c : cases) EXPECT_EQ(RoundToLong(c.value), c.rounded) << c.value;
  EXPECT_EQ(ToSingle(" 1.5 "), 1.5f);
  EXPECT_EQ(ToSingle("2 s"), std::nullopt);
  EXPECT_EQ(ToSingle(""), std::nullopt);
}

TEST(StringTableTest, FindsEntriesByNumber) {
  EXPECT_EQ(LoadResString(201), "Windows NT");  // first entry
  EXPECT_EQ(LoadResString(2014), QString::fromUtf8("0°"));
  EXPECT_EQ(LoadResString(2401), "Varnel Error");  // last entry
  EXPECT_EQ(LoadResString(2236), "");
  EXPECT_EQ(LoadResString(0), "");
}

}  // namespace
}  // namespace varnel
