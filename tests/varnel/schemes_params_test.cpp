// Scheme files and the parameter checks, without widgets.
#include <gtest/gtest.h>

#include "tests/varnel/support/fakes.h"
#include "varnel/files/params.h"
#include "varnel/files/schemes.h"

namespace varnel {
namespace {

TEST(SchemeFile, WritesThirteenLinesAndReadsThemBack) {
  SchemeValues v;
  v.folder = "SCANS\\JOB12";
  v.format = "TIF Tiff G4";
  v.drive = "c: [data]";
  v.width = "36.0\"";
  v.resolution = "200 DPI";
  v.leadingEdge = "Top      0°";
  v.speed = "Fast 12.6\"/Sec";
  v.view = 1;
  v.mode = 2;
  v.dataField = "Bay 4";
  v.edit = 1;
  QByteArray bytes = SchemeFileText(v);
  EXPECT_EQ(bytes,
            "SCANS\\JOB12\r\nTIF Tiff G4\r\nc: [data]\r\n36.0\"\r\n200 DPI\r\n"
            "Top      0\xB0\r\nFast 12.6\"/Sec\r\n 1 \r\n 0 \r\n 0 \r\n 2 \r\nBay 4\r\n 1 \r\n");
  SchemeValues back = ParseSchemeFile(bytes);
  EXPECT_EQ(back.folder, v.folder);
  EXPECT_EQ(back.format, v.format);
  EXPECT_EQ(back.drive, v.drive);
  EXPECT_EQ(back.width, v.width);
  EXPECT_EQ(back.resolution, v.resolution);
  EXPECT_EQ(back.leadingEdge, v.leadingEdge);
  EXPECT_EQ(back.speed, v.speed);
  EXPECT_EQ(back.view, 1);
  EXPECT_EQ(back.mirror, 0);
  EXPECT_EQ(back.mode, 2);
  EXPECT_EQ(back.dataField, "Bay 4");
  EXPECT_EQ(back.edit, 1);

  // No image mode set: the line stays, empty, and the later lines keep their places.
  v.mode.reset();
  back = ParseSchemeFile(SchemeFileText(v));
  EXPECT_EQ(back.dataField, "Bay 4");
  EXPECT_EQ(back.edit, 1);
}

TEST(SchemeFile, ReadsNumbersWithBlanksAndShortFiles) {
  struct Case {
    const char* name;
    QByteArray bytes;
    int view, mode;
    std::optional<int> edit;
    const char* dataField;
  } const cases[] = {
      {"blanks around numbers", "\r\nTLC\r\nc:\r\n36\r\n200\r\nTop\r\nFast\r\n   1\r\n0\r\n0\r\n1   \r\nX\r\n  1  \r\n", 1, 1, 1, "X"},
      {"twelve lines", "\r\nTLC\r\nc:\r\n36\r\n200\r\nTop\r\nFast\r\n 1 \r\n 0 \r\n 0 \r\n 0 \r\nX\r\n", 1, 0, std::nullopt, "X"},
      {"line feeds only", "\nTLC\nc:\n36\n200\nTop\nFast\n-1\n0\n0\n2\nY\n0", -1, 2, 0, "Y"},
      {"no last line end", "\r\nTLC\r\nc:\r\n36\r\n200\r\nTop\r\nFast\r\n0\r\n0\r\n0\r\n0\r\n\r\n1", 0, 0, 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SchemeValues v = ParseSchemeFile(c.bytes);
    EXPECT_EQ(v.format, "TLC");
    EXPECT_EQ(v.view, c.view);
    EXPECT_EQ(v.mode, c.mode);
    EXPECT_EQ(v.edit, c.edit);
    EXPECT_EQ(v.dataField, c.dataField);
  }
}

TEST(SchemeFile, ListedNamesAndSelectingParts) {
  EXPECT_EQ(SchemeNames({"A1.Set", "default.set", "Plan 2.SET", "x.y.set"}),
            QStringList({"DEFAULT", "A1", "Plan 2", "x"}));
  EXPECT_EQ(SchemeNames({"B.Set"}), QStringList({"B"}));  // no DEFAULT is made up
  QStringList files;
  for (int i = 0; i < 120; ++i) files << QString("S%1.Set").arg(i, 3, 10, QChar('0'));
  files << "DEFAULT.SET";
  QStringList names = SchemeNames(files);
  ASSERT_EQ(names.size(), kMaxSchemes + 1);
  EXPECT_EQ(names.first(), "DEFAULT");
  EXPECT_EQ(names.last(), "S098");

  const std::pair<const char*, const char*> parts[] = {
      {"200 DPI", "200"}, {"  300 dpi  ", "300"}, {"300", "300"}, {"Top      0°", "Top"}, {"", ""}};
  for (auto [line, part] : parts) EXPECT_EQ(SchemeSelectPart(line), part) << line;
}

TEST(ParameterChecks, WidthsAreHeldWithinTheMachinesLimits) {
  struct Case {
    const char *units, *machine, *typed, *text, *message;
  } const cases[] = {
      {"METRIC", "6737", "1300", "1219.2mm", "The width value must be from 25.4 mm to 1219.2 mm"},
      {"METRIC", "6741", "1000", "914.4mm", "The width value must be from 25.4 mm to 914.4 mm"},
      {"METRIC", "6741", "600 mm", "600.0mm", ""},
      {"METRIC", "6741", "25.4", "25.4mm", ""},
      {"ENGLISH", "6741", "0.5", "1.0\"", "The width value must be from 1 \" to 36 \""},
      {"ENGLISH", "6741", "36", "36.0\"", ""},
      {"ENGLISH", "6737", "48\"", "48.0\"", ""},
      {"ENGLISH", "6737", "48.1", "48.0\"", "The width value must be from 1 \" to 48 \""},
      {"ENGLISH", "6741", "24.25", "24.3\"", ""},
      {"ENGLISH", "6741", "wide", "1.0\"", "The width value must be from 1 \" to 36 \""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    CheckedValue checked = CheckWidth(c.typed, c.units, c.machine);
    EXPECT_EQ(checked.text, c.text);
    EXPECT_EQ(checked.message, c.message);
    EXPECT_EQ(checked.title, *c.message ? "Invalid Width" : "");
  }
}

TEST(ParameterChecks, ResolutionsAreWholeNumbersWithinTheLimits) {
  struct Case {
    const char *machine, *typed, *text, *message;
  } const cases[] = {
      {"6765", "150", "200 DPI", "The Resolution value must be from 200 DPI to 400 DPI"},
      {"6769", "150", "200 DPI", "The Resolution value must be from 200 DPI to 400 DPI"},
      {"6741", "150", "150 DPI", ""},
      {"6741", "300.6", "301 DPI", ""},
      {"6741", "250.5", "250 DPI", ""},  // halves to the even number
      {"6741", "99", "100 DPI", "The Resolution value must be from 100 DPI to 400 DPI"},
      {"6782", "401", "400 DPI", "The Resolution value must be from 200 DPI to 400 DPI"},
      {"6741", "400 dpi", "400 DPI", ""},
      {"6741", "", "100 DPI", "The Resolution value must be from 100 DPI to 400 DPI"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.machine) + " " + c.typed);
    CheckedValue checked = CheckResolution(c.typed, c.machine);
    EXPECT_EQ(checked.text, c.text);
    EXPECT_EQ(checked.message, c.message);
  }
}

TEST(ParameterChecks, SpeedListForEveryRatedSpeed) {
  struct Case {
    const char* resolution;
    int16_t speed;
    bool metric;
    const char *fast, *norm;
  } const cases[] = {
      {"200 DPI", 160, true, "Fast 320mm/Sec", "Norm 160mm/Sec"},
      {"300 DPI", 160, true, "Fast 213.3333mm/Sec", "Norm 160mm/Sec"},
      {"400 DPI", 160, true, "Fast 160mm/Sec", "Norm 160mm/Sec"},
      {"200 DPI", 160, false, "Fast 12.6\"/Sec", "Norm 6.3\"/Sec"},
      {"100 DPI", 80, true, "Fast 320mm/Sec", "Norm 80mm/Sec"},
      {"50", 80, true, "Fast 320mm/Sec", "Norm 80mm/Sec"},  // held at 100
      {"600", 80, true, "Fast 80mm/Sec", "Norm 80mm/Sec"},  // held at 400
      {"300 DPI", 120, true, "Fast 160mm/Sec", "Norm 120mm/Sec"},
      {"300 DPI", 120, false, "Fast 6.3\"/Sec", "Norm 4.7\"/Sec"},
      {" 250 ", 80, true, "Fast 128mm/Sec", "Norm 80mm/Sec"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.resolution) + " " + std::to_string(c.speed));
    EXPECT_EQ(ScannerSpeedTexts(c.resolution, c.speed, c.metric, "Fast", "Norm"),
              QStringList({c.fast, c.norm}));
  }
}

TEST(ParameterChecks, TypeAheadCompletesOnlyAtTheEnd) {
  const QStringList entries = {"100 DPI", "200 DPI", "250 DPI", "300 DPI"};
  struct Case {
    const char* text;
    int selStart, selLength, key;
    TypeAheadStep::Action action;
    int index, prefix;
  } const cases[] = {
      {"", 0, 0, '2', TypeAheadStep::Complete, 1, 1},
      {"200 DPI", 1, 6, '5', TypeAheadStep::Complete, 2, 2},  // "25" after the completed "2"
      {"200 DPI", 1, 6, 'x', TypeAheadStep::Pass, -1, 0},     // no entry: typed over the selection
      {"200 DPI", 1, 0, '5', TypeAheadStep::Pass, -1, 0},     // caret inside the text
      {"", 0, 0, 'd', TypeAheadStep::Pass, -1, 0},
      {"2", 1, 0, '0', TypeAheadStep::Complete, 1, 2},
      {"", 0, 0, 8, TypeAheadStep::Pass, -1, 0},
      {"", 0, 0, 9, TypeAheadStep::Pass, -1, 0},
      {"", 0, 0, 13, TypeAheadStep::Tab, -1, 0},
      {"", 0, 0, 3, TypeAheadStep::Discard, -1, 0},
      {"", 0, 0, 200, TypeAheadStep::Discard, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " key " + std::to_string(c.key));
    TypeAheadStep step = TypeAhead(c.text, c.selStart, c.selLength, c.key, entries);
    EXPECT_EQ(step.action, c.action);
    if (c.action == TypeAheadStep::Complete) {
      EXPECT_EQ(step.index, c.index);
      EXPECT_EQ(step.prefix, c.prefix);
    }
  }
  EXPECT_EQ(TypeAhead("", 0, 0, 'a', {"Alpha"}).action, TypeAheadStep::Complete);  // any case
}

TEST(ParameterChecks, ThresholdKeysAndLimits) {
  for (int key : {int('0'), int('5'), int('9'), 8, 3, 22}) EXPECT_TRUE(ThresholdKeyAccepted(key)) << key;
  for (int key : {int('a'), int('-'), int('.'), int(' '), 13, 1}) EXPECT_FALSE(ThresholdKeyAccepted(key)) << key;
  const std::pair<const char*, const char*> texts[] = {
      {"116", "115"}, {"115", "115"}, {"29", "30"}, {"", "30"}, {"30", "30"}, {"72", "72"}};
  for (auto [text, corrected] : texts) EXPECT_EQ(ThresholdLostFocusText(text), corrected) << text;
}

}  // namespace
}  // namespace varnel
