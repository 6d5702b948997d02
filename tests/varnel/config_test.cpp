// The configuration file: keys in order, defaults written back, the lists.
#include <gtest/gtest.h>

#include <functional>

#include "tests/varnel/support/station_fixture.h"
#include "varnel/core/config.h"
#include "varnel/core/configcheck.h"
#include "varnel/core/helpers.h"

namespace varnel {
namespace {

using testing::StationTest;

// Every character is 10 wide, a blank 5: the angles line up by whole blanks.
double FixedWidth(const QString& text) {
  double width = 0;
  for (QChar c : text) width += c == ' ' ? 5 : 10;
  return width;
}

class ConfigTest : public StationTest {
 protected:
  bool Load(const QByteArray& ini) {
    WriteFile("Station/Varnel.Ini", ini);
    return LoadIniFile(*st_, "C:\\Station", FixedWidth, lists_);
  }
  IniLists lists_;
};

TEST_F(ConfigTest, AFileWithOnlyScanExeGetsEveryDefaultInOrder) {
  ASSERT_TRUE(Load("[PROGRAMS]\r\nScanExe=C:\\Bin\\juxscan\r\n"));
  EXPECT_EQ(ReadFile("Station/Varnel.Ini"),
            "[PROGRAMS]\r\n"
            "ScanExe=C:\\Bin\\juxscan\r\n"
            "RequestExe=C:\\Dudozev1\\ReqQueue.exe\r\n"
            "UnattendExe=C:\\Dudozev1\\Unattend.exe\r\n"
            "MiniViewSize=1000,700\r\n"
            "AutoModeViewDelayTime=2\r\n"
            "StripLeading100DPI=0\r\n"
            "StripTrailing100DPI=0\r\n"
            "StripLeading200DPI=0\r\n"
            "StripTrailing200DPI=0\r\n"
            "StripLeading300DPI=0\r\n"
            "StripTrailing300DPI=0\r\n"
            "StripLeading400DPI=0\r\n"
            "StripTrailing400DPI=0\r\n"
            "Debug=1\r\n"
            "Units=ENGLISH\r\n"
            "Toyota=NO\r\n"
            "[PRINTERS]\r\n"
            "RequestDir=C:\\Dudozev1\\Request\r\n"
            "PriorityDir=C:\\Dudozev1\\PRequest\r\n");
  // A second start changes nothing.
  QByteArray first = ReadFile("Station/Varnel.Ini");
  ASSERT_TRUE(LoadIniFile(*st_, "C:\\Station", FixedWidth, lists_));
  EXPECT_EQ(ReadFile("Station/Varnel.Ini"), first);

  EXPECT_EQ(st_->IniFile, "C:\\Station\\Varnel.Ini");
  EXPECT_EQ(st_->LogFile, "C:\\Station\\Varnel.Log");
  EXPECT_EQ(st_->ScanExe, "C:\\Bin\\juxscan");
  EXPECT_EQ(st_->AutoModeViewDelayTime, 2.0f);
  EXPECT_TRUE(st_->DebugFlag);
  EXPECT_EQ(st_->LogLevel, 1);
  EXPECT_EQ(st_->TempDir, "\\");
  EXPECT_EQ(st_->MinScanDpi, 200);
  EXPECT_TRUE(Exists("Dudozev1/Request"));
  EXPECT_TRUE(Exists("Dudozev1/PRequest"));
}

TEST_F(ConfigTest, MissingFileShowsTheMessageAndWritesNothing) {
  EXPECT_FALSE(LoadIniFile(*st_, "C:\\Station", FixedWidth, lists_));
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_EQ(prompts_.shown[0].text, "C:\\Station\\Varnel.Ini - File Not Found!");
  EXPECT_EQ(prompts_.shown[0].title, "JUX Tarvex");
  EXPECT_EQ(prompts_.shown[0].buttons, Prompts::Buttons::Ok);
  EXPECT_FALSE(Exists("Station/Varnel.Ini"));
  EXPECT_FALSE(Exists("Station/Varnel.Log"));
  EXPECT_TRUE(st_->LogFile.isEmpty());
}

TEST_F(ConfigTest, ValuesAreConvertedAsTheOtherPartsExpectThem) {
  struct Case {
    const char* line;  // one [PROGRAMS] line
    std::function<bool(const Station&)> holds;
  } cases[] = {
      {"Debug= n", [](const Station& s) { return !s.DebugFlag; }},
      {"Debug=0", [](const Station& s) { return !s.DebugFlag; }},
      {"Debug=", [](const Station& s) { return s.DebugFlag; }},
      {"Debug=Yes", [](const Station& s) { return s.DebugFlag; }},
      {"Toyota=yes", [](const Station& s) { return s.ToyotaFlag; }},
      {"Toyota=\" Y\"", [](const Station& s) { return !s.ToyotaFlag; }},  // blank kept by quotes
      {"Units=metric", [](const Station& s) { return s.Units == "METRIC"; }},
      {"TempDir=C:\\Work", [](const Station& s) { return s.TempDir == "C:\\Work\\"; }},
      {"TempDir=C:\\Work\\", [](const Station& s) { return s.TempDir == "C:\\Work\\"; }},
      {"AutoModeViewDelayTime=1.5", [](const Station& s) { return s.AutoModeViewDelayTime == 1.5f; }},
      {"AutoModeViewDelayTime=two", [](const Station& s) { return s.AutoModeViewDelayTime == 2.0f; }},
      {"StripLeading100DPI=12.5 lines", [](const Station& s) { return s.StripLeading100DPI == 12; }},
      {"StripTrailing200DPI=13.5", [](const Station& s) { return s.StripTrailing200DPI == 14; }},
      {"StripLeading300DPI=none", [](const Station& s) { return s.StripLeading300DPI == 0; }},
      {"StripLeading400DPI=99999999999", [](const Station& s) { return s.StripLeading400DPI == 0; }},
      {"HardwareConnect=yes", [](const Station& s) { return s.HardwareConnect == "yes"; }},
      {"MachineType=6713", [](const Station& s) {
         return s.MachineType == "6741" && s.ConfiguredMachineType == "6713" && s.MinScanDpi == 100;
       }},
      {"MachineType=6753", [](const Station& s) { return s.MachineType == "6747" && s.MinScanDpi == 100; }},
      {"MachineType=6791", [](const Station& s) { return s.MachineType == "6769" && s.MinScanDpi == 200; }},
      {"MachineType=6713 ", [](const Station& s) { return s.MachineType == "6741"; }},  // value trimmed
      {"MachineType=x6713", [](const Station& s) { return s.MachineType == "x6713" && s.MinScanDpi == 200; }},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Load(QByteArray("[PROGRAMS]\r\n") + c.line + "\r\n")) << c.line;
    EXPECT_TRUE(c.holds(*st_)) << c.line;
  }
  EXPECT_TRUE(Exists("Work"));
}

TEST_F(ConfigTest, ListsAreReadUpToTheFirstMissingNumber) {
  ASSERT_TRUE(Load("[PROGRAMS]\r\nUnits=metric\r\nMachineType=6729\r\n"
                   "[ENGLISHScanWidths]\r\nWidth1=36\r\n"
                   "[METRICScanWidths]\r\nWidth1=A0\r\nWidth2=\r\nWidth4=A2\r\n"
                   "[OutputTypes]\r\nType1=TLC Compressed  TL\r\nType2=(!!#%%#!!)\r\n"
                   "[ScanDPI]\r\nDPI1=100\r\nDPI2=150\r\nDPI3=200\r\nDPI4=abc\r\nDPI5=400\r\n"
                   "[GENERAL]\r\nDataField=true\r\n"));
  EXPECT_EQ(lists_.widths, (QStringList{"A0", ""}));  // metric section, empty entry kept
  ASSERT_EQ(lists_.formats.size(), 1);                 // the missing marker counts as missing
  EXPECT_EQ(lists_.formats[0].text, "TLC Compressed");
  EXPECT_EQ(lists_.formats[0].itemData, 1);
  EXPECT_EQ(lists_.resolutions, (QStringList{"100", "150", "200", "400"}));  // 6729 scans 100 dpi
  EXPECT_TRUE(lists_.dataFieldVisible);

  ASSERT_TRUE(Load("[OutputTypes]\r\nType1=TIFF G4 TF\r\nType2=PCX   PC\r\n"
                   "Type3=  Bitmap  BM   \r\nType4=X\r\n"
                   "[ScanDPI]\r\nDPI1=100\r\nDPI2=200\r\n[GENERAL]\r\nDataField= f\r\n"));
  ASSERT_EQ(lists_.formats.size(), 3);  // Type4 is too short for a code: named and left out
  EXPECT_EQ(lists_.formats[2].text, "Bitmap");
  EXPECT_EQ(lists_.formats[2].itemData, 3);
  EXPECT_EQ(st_->OutputTypeCodes, (QStringList{"", "TF", "PC", "BM", "X"}));
  EXPECT_EQ(lists_.resolutions, QStringList{"200"});
  EXPECT_FALSE(lists_.dataFieldVisible);
  EXPECT_TRUE(LogMessages().last().contains("[OutputTypes] Type4=X"));
}

TEST_F(ConfigTest, OddLinesLoadWithTheirDefaults) {
  QByteArray longPath = "C:\\" + QByteArray(300, 'p');
  ASSERT_TRUE(Load("junk before any section\r\n"
                   "[PROGRAMS]\r\n"
                   "ViewExe\r\n"  // no "=": counts as missing
                   "ScanExe=first\r\n"
                   "ScanExe=second\r\n"
                   "EditExe=" + longPath + "\r\n"
                   "[]\r\n= no key\r\n"
                   "[ScanDPI]\r\nDPI1\r\nDPI2=300\r\n"));
  EXPECT_EQ(st_->ScanExe, "first");
  EXPECT_EQ(st_->ViewExe, "");
  EXPECT_EQ(st_->EditExe.size(), 254);
  EXPECT_TRUE(lists_.resolutions.isEmpty());  // DPI1 holds no value, so the list ends there
  // The default of a key hidden by a line without "=" is not written twice.
  EXPECT_EQ(ReadFile("Station/Varnel.Ini").count("ViewExe"), 1);
}

TEST_F(ConfigTest, StartResetsTheLogAndRemovesThePrintMarker) {
  WriteFile("Station/Varnel.Log", "old run\r\n");
  WriteFile("Queue/Prio.JUX", "marker");
  ASSERT_TRUE(Load("[PROGRAMS]\r\nAutoModeViewDelayTime=soon\r\n"
                   "[PRINTERS]\r\nPriorityDir=C:\\Queue\\Prio\r\n"));
  QStringList log = LogMessages();
  ASSERT_EQ(log.size(), 2);
  EXPECT_TRUE(log[0].startsWith("Program Started: "));
  EXPECT_TRUE(log[1].contains("AutoModeViewDelayTime"));
  EXPECT_FALSE(Exists("Queue/Prio.JUX"));
  EXPECT_TRUE(Exists("Queue/Prio"));
}

TEST_F(ConfigTest, LeadingEdgesLineUpTheirAngles) {
  // Widths: "Top0°" 50, "Right90°" 80, "Bottom180°" 100, "Left270°" 80; a blank is 5.
  EXPECT_EQ(BuildLeadingEdgeList(FixedWidth),
            (QStringList{"Top" + QString(13, ' ') + "0°", "Right" + QString(7, ' ') + "90°",
                         "Bottom" + QString(3, ' ') + "180°", "Left" + QString(7, ' ') + "270°"}));
  // Half a blank short rounds to the even number of blanks.
  auto halves = [](const QString& t) { return t == " " ? 4.0 : t.startsWith("Bottom") ? 10.0 : 0.0; };
  QStringList entries = BuildLeadingEdgeList(halves);
  EXPECT_EQ(entries[0], "Top" + QString(2 + 3, ' ') + "0°");  // 10 / 4 = 2.5 -> 2
}

// Values the scan road cannot use are named with their keys in one box at
// start-up; a value with a default gets it, a bad list entry is left out.
TEST_F(ConfigTest, UnusableValuesAreNamedOnceAtStartUp) {
  WriteFile("Bin/juxscan", "");
  struct Case {
    const char* lines;  // [PROGRAMS] lines, then other sections
    const char* named;  // what the box says ("" for no box)
    std::function<bool(const Station&, const IniLists&)> holds;
  } cases[] = {
      {"ScanExe=C:\\Bin\\juxscan\r\n", "", [](auto& s, auto&) { return s.ScanExe == "C:\\Bin\\juxscan"; }},
      {"ScanExe=C:\\Bin\\juxscna\r\n", "[PROGRAMS] ScanExe=C:\\Bin\\juxscna: the program does not exist",
       [](auto&, auto&) { return true; }},
      {"MiniViewSize=1000,700 -o C:\\..\\..\\inject.tlc\r\n",
       "MiniViewSize=1000,700 -o C:\\..\\..\\inject.tlc: not two numbers separated by a comma; 1000,700 used",
       [](auto& s, auto&) { return s.MiniViewSize == "1000,700"; }},
      {"MiniViewSize=1000.700\r\n", "MiniViewSize=1000.700", [](auto& s, auto&) { return s.MiniViewSize == "1000,700"; }},
      {"TempDir=C:\\My Temp\r\n", "TempDir=C:\\My Temp\\: not one path without blanks",
       [](auto&, auto&) { return true; }},
      {"StripLeading400DPI=-5\r\n", "StripLeading400DPI=-5: not a whole number from 0 to 65535; 0 used",
       [](auto& s, auto&) { return s.StripLeading400DPI == 0; }},
      {"StripTrailing100DPI=lots\r\n", "StripTrailing100DPI=lots", [](auto& s, auto&) { return s.StripTrailing100DPI == 0; }},
      {"StripTrailing100DPI=12.5 lines\r\n", "", [](auto& s, auto&) { return s.StripTrailing100DPI == 12; }},
      {"AutoModeViewDelayTime=-3\r\n", "AutoModeViewDelayTime=-3: not a number of seconds; 2 used",
       [](auto& s, auto&) { return s.AutoModeViewDelayTime == 2.0f; }},
      {"[ScanDPI]\r\nDPI1=-5\r\nDPI2=99999999999\r\nDPI3=300\r\nDPI4=150\r\n",
       "[ScanDPI] DPI1=-5: not a resolution from 100 to 400 DPI; left out\n"
       "[ScanDPI] DPI2=99999999999: not a resolution",
       [](auto&, auto& l) { return l.resolutions == QStringList{"300"}; }},  // 150: below the floor, silently
      {"[ScanDPI]\r\nDPI1=0\r\n", "no resolution from 200 to 400 DPI is configured",
       [](auto&, auto& l) { return l.resolutions.isEmpty(); }},
      {"[OutputTypes]\r\nType1=TLC Compressed -L\r\nType2=TIF -o\r\nType3=-T\r\nType4=PNG \"N\r\n",
       "[OutputTypes] Type2=TIF -o: no output type code",
       [](auto&, auto& l) { return l.formats.size() == 1 && l.formats[0].text == "TLC Compressed"; }},
      {"Debug=\x01\x02\xff\xfe\r\nScanExe=\x7f\r\n", "ScanExe=?: the program does not exist",
       [](auto&, auto&) { return true; }},
  };
  for (const Case& c : cases) {
    prompts_.shown.clear();
    QByteArray lines = c.lines;
    ASSERT_TRUE(Load(lines.startsWith('[') ? lines : "[PROGRAMS]\r\n" + lines)) << c.lines;
    if (QString(c.named).isEmpty()) {
      EXPECT_TRUE(prompts_.shown.isEmpty()) << c.lines;
    } else {
      ASSERT_EQ(prompts_.shown.size(), 1) << c.lines;
      EXPECT_EQ(prompts_.shown[0].title, "Varnel Error");
      EXPECT_TRUE(prompts_.shown[0].text.startsWith("Varnel.Ini holds values that cannot be used:\n"));
      EXPECT_TRUE(prompts_.shown[0].text.contains(c.named)) << prompts_.shown[0].text.toStdString();
    }
    EXPECT_TRUE(c.holds(*st_, lists_)) << c.lines;
  }
}

TEST(ConfigFormTest, ValuesThatGoIntoACommandLine) {
  for (const char* good : {"1000,700", "1,1", "99999,0"}) EXPECT_TRUE(IsSizePair(good)) << good;
  for (const char* bad : {"", "1000,700 -o x", "1000;700", " 1000,700", "1000,", "-1,5", "123456,1"})
    EXPECT_FALSE(IsSizePair(bad)) << bad;
  for (const char* good : {"C:\\Temp\\", "\\"}) EXPECT_TRUE(IsOnePath(good)) << good;
  for (const char* bad : {"", "C:\\My Temp\\", "C:\\a\"b", "C:\\a\tb"}) EXPECT_FALSE(IsOnePath(bad)) << bad;
  for (const char* good : {"-T", "TL", "-L"}) EXPECT_TRUE(IsOutputTypeCode(good)) << good;
  for (const char* bad : {"", "X", "- ", "-TT", "\"o", "-o", "-E", "-@"})
    EXPECT_FALSE(IsOutputTypeCode(bad)) << bad;
}

}  // namespace
}  // namespace varnel
