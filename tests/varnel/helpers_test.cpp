// Profile, message and log helpers.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QRegularExpression>

#include "tests/varnel/support/station_fixture.h"
#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"

namespace varnel {
namespace {

using testing::StationTest;

class HelpersTest : public StationTest {
 protected:
  HelpersTest() { UseStationFolder(); }
};

TEST_F(HelpersTest, ReadIniValueWritesMissingDefaultsIntoTheConfigurationFile) {
  WriteFile("Station/Varnel.Ini", "[S]\r\nEmpty=\r\n");
  WriteFile("Other.ini", "[S]\r\nHere=other\r\n");
  const QString ini = st_->IniFile;

  EXPECT_EQ(ReadIniValue(*st_, "S", "Empty", "x", ini), "");  // present and empty: no write
  EXPECT_EQ(ReadIniValue(*st_, "S", "Gone", "", ini), "");    // empty default: no write
  EXPECT_EQ(ReadFile("Station/Varnel.Ini"), "[S]\r\nEmpty=\r\n");

  EXPECT_EQ(ReadIniValue(*st_, "S", "Delay", "2", ini), "2");
  EXPECT_EQ(ReadFile("Station/Varnel.Ini"), "[S]\r\nEmpty=\r\nDelay=2\r\n");
  WriteIniString("S", "Delay", "7", ini);
  EXPECT_EQ(ReadIniValue(*st_, "S", "Delay", "2", ini), "7");  // the second read finds the file's value

  // A default missing from another file still lands in the configuration file.
  EXPECT_EQ(ReadIniValue(*st_, "S", "Here", "d", "C:\\Other.ini"), "other");
  EXPECT_EQ(ReadIniValue(*st_, "T", "There", "d", "C:\\Other.ini"), "d");
  EXPECT_EQ(ReadFile("Other.ini"), "[S]\r\nHere=other\r\n");
  EXPECT_EQ(ReadFile("Station/Varnel.Ini"), "[S]\r\nEmpty=\r\nDelay=7\r\n[T]\r\nThere=d\r\n");
}

TEST_F(HelpersTest, IniStringsAreCutAndWritesDeleteByEmptyArguments) {
  QByteArray longValue(300, 'v');
  WriteFile("Station/Varnel.Ini", "[S]\r\nLong=" + longValue + "\r\nk=1\r\n[T]\r\nm=2\r\n");
  const QString ini = st_->IniFile;
  EXPECT_EQ(GetIniString("S", "Long", "", ini), QString(254, 'v'));
  EXPECT_EQ(GetIniString("S", "none", MissingValue, ini), MissingValue);
  EXPECT_EQ(GetIniString("S", "k", "", "C:\\NoSuchFile.ini"), "");

  EXPECT_NE(WriteIniString("S", "k", "", ini), 0);  // empty value: key deleted
  EXPECT_EQ(GetIniString("S", "k", "gone", ini), "gone");
  EXPECT_NE(WriteIniString("T", "", "x", ini), 0);  // empty key: section deleted
  EXPECT_EQ(ReadFile("Station/Varnel.Ini"), "[S]\r\nLong=" + longValue + "\r\n");
}

TEST_F(HelpersTest, LogLevelsDecideWhatIsWritten) {
  struct Case {
    bool debug;
    int level;
    bool written;
  } cases[] = {{false, 0, true}, {false, 1, false}, {true, 0, true},
               {true, 1, true},  {true, 2, false},  {false, 2, false}};
  for (const Case& c : cases) {
    st_->DebugFlag = c.debug;
    QString message = QString("debug %1 level %2").arg(c.debug).arg(c.level);
    WriteLog(*st_, static_cast<int16_t>(c.level), message);
    EXPECT_EQ(LogMessages().contains(message), c.written) << message.toStdString();
  }
}

TEST_F(HelpersTest, LogLinesAreDateTimeDashMessageWithCrLf) {
  WriteLog(*st_, 0, "first");
  WriteLog(*st_, 0, "second");
  QByteArray log = ReadFile("Station/Varnel.Log");
  EXPECT_TRUE(log.endsWith("second\r\n"));
  EXPECT_EQ(log.count("\r\n"), 2);
  QString line = QString::fromUtf8(log).section("\r\n", 0, 0);
  EXPECT_TRUE(QRegularExpression("^\\S.* \\d{1,2}:\\d{2}:\\d{2}.* - first$").match(line).hasMatch())
      << line.toStdString();
  EXPECT_EQ(LogLine(QDateTime::currentDateTime(), "m").right(4), " - m");

  // Before the configuration names the log, nothing is written anywhere.
  st_->LogFile.clear();
  WriteLog(*st_, 0, "lost");
  EXPECT_FALSE(LogMessages().contains("lost"));
}

TEST_F(HelpersTest, MessageBoxesHaveTheirTitlesAndErrorsAreLogged) {
  st_->DebugFlag = false;
  prompts_.answers = {Prompts::Answer::No, Prompts::Answer::Yes};
  EXPECT_FALSE(AskYesNo(*st_, "Really?"));
  EXPECT_TRUE(AskYesNo(*st_, "Really?"));
  ShowError(*st_, "Broken");
  ASSERT_EQ(prompts_.shown.size(), 3);
  EXPECT_EQ(prompts_.shown[0].title, "Varnel Alert");
  EXPECT_EQ(prompts_.shown[0].buttons, Prompts::Buttons::YesNo);
  EXPECT_EQ(prompts_.shown[0].icon, Prompts::Icon::None);
  EXPECT_EQ(prompts_.shown[2].title, "Varnel Error");
  EXPECT_EQ(prompts_.shown[2].icon, Prompts::Icon::Critical);
  EXPECT_EQ(LogMessages(), QStringList{"Broken"});
}

TEST_F(HelpersTest, CheckDirCreatesEveryMissingLevel) {
  struct Case {
    const char* path;
    const char* mustExist;
  } cases[] = {
      {"C:\\A\\B\\C\\", "A/B/C"},
      {"C:\\A\\B\\D", "A/B/D"},
      {"C:\\Spaced Name\\x", "Spaced Name/x"},
      {"C:\\", ""},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(CheckDir(c.path)) << c.path;
    EXPECT_TRUE(Exists(c.mustExist)) << c.path;
  }
  WriteFile("Plain", "a file stands in the way");
  EXPECT_FALSE(CheckDir("C:\\Plain\\Sub"));
}

TEST(ListItemTest, FindsTheFirstEntryBeginningWithTheText) {
  const QStringList schemes{"Architect", "DEFAULT", "Defaults old"};
  struct Case {
    QString text;
    QStringList entries;
    int index;
  } cases[] = {{"default", schemes, 1}, {"d", schemes, 1},  {"", schemes, 0},
               {"x", schemes, -1},      {"a", {}, -1},      {"DEFAULTS", schemes, 2}};
  for (const Case& c : cases)
    EXPECT_EQ(FindListItem(c.text, c.entries), c.index) << c.text.toStdString();
}

TEST_F(HelpersTest, ShortPathIsEmptyForAMissingPath) {
  WriteFile("There.txt", "x");
  EXPECT_EQ(GetShortPath("C:\\There.txt"), "C:\\There.txt");
  EXPECT_EQ(GetShortPath("C:\\NotThere.txt"), "");
  // A folder and a file with blanks: no blank in the short form, and the short
  // form names the same file.
  WriteFile("My Scans/Drawing 1.tif", "x");
  QString shortPath = GetShortPath("C:\\My Scans\\Drawing 1.tif");
  EXPECT_FALSE(shortPath.isEmpty());
  EXPECT_FALSE(shortPath.contains(' ')) << shortPath.toStdString();
  EXPECT_EQ(HostPath(shortPath), HostPath("C:\\My Scans\\Drawing 1.tif"));
}

}  // namespace
}  // namespace varnel
