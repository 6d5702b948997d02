// Private-profile files: what a read finds and what a write leaves in the file.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "varnel/core/profile.h"

namespace varnel {
namespace {

class ProfileTest : public ::testing::Test {
 protected:
  QString File(const QByteArray& text) {
    QString path = dir_.path() + "/p.ini";
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return path;
  }
  QByteArray Text() {
    QFile file(dir_.path() + "/p.ini");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
  }
  QTemporaryDir dir_;
};

const QByteArray kOdd =
    "loose=before any section\r\n"
    "[Programs]\r\n"
    "  ScanExe =  C:\\bin\\juxscan  \r\n"
    "no equals sign here\r\n"
    "Quoted=\"  two blanks  \"\r\n"
    "scanexe=second wins never\r\n"
    "Empty=\r\n"
    "[]\r\n"
    "blank=section\r\n"
    "[programs]\r\n"
    "Other=in a repeated section\r\n"
    "[Broken\r\n"
    "[Last]\n"
    "Tail=no line end";

TEST_F(ProfileTest, ReadsTheWayThePlatformDoes) {
  struct Case {
    const char* section;
    const char* key;
    std::optional<QString> expected;
  } cases[] = {
      {"PROGRAMS", "SCANEXE", QString("C:\\bin\\juxscan")},  // any case, trimmed, first wins
      {"Programs", "no equals sign here", std::nullopt},     // a line without "=" holds no value
      {"Programs", "Quoted", QString("  two blanks  ")},    // quotes dropped, blanks inside kept
      {"Programs", "Empty", QString("")},
      {"Programs", "Missing", std::nullopt},
      {"", "blank", QString("section")},                     // "[]" is a section without a name
      {"Programs", "Other", std::nullopt},                   // only the first section of a name counts
      {"Programs", "loose", std::nullopt},                   // lines before any section belong to none
      {"Last", "Tail", QString("no line end")},
      {"Nowhere", "Tail", std::nullopt},
  };
  QString file = File(kOdd);
  for (const Case& c : cases)
    EXPECT_EQ(profile::Read(file, c.section, c.key), c.expected) << c.section << "/" << c.key;
  EXPECT_EQ(profile::Read(dir_.path() + "/missing.ini", "Programs", "ScanExe"), std::nullopt);
}

TEST_F(ProfileTest, WritesChangeOnlyTheLineConcerned) {
  const QByteArray before =
      "; comment\r\n[A]\r\nx=1\r\nY = 2\r\n\r\n[B]\r\nz=3\n[a]\r\nq=9\r\n";
  struct Case {
    const char* what;
    const char* section;
    std::optional<QString> key, value;
    QByteArray after;
  } cases[] = {
      {"replace", "a", QString("y"), QString("5"),
       "; comment\r\n[A]\r\nx=1\r\ny=5\r\n\r\n[B]\r\nz=3\n[a]\r\nq=9\r\n"},
      {"add to section, before its blank line", "A", QString("New"), QString("v"),
       "; comment\r\n[A]\r\nx=1\r\nY = 2\r\nNew=v\r\n\r\n[B]\r\nz=3\n[a]\r\nq=9\r\n"},
      {"add to a section with a bare line end", "B", QString("w"), QString("4"),
       "; comment\r\n[A]\r\nx=1\r\nY = 2\r\n\r\n[B]\r\nz=3\nw=4\r\n[a]\r\nq=9\r\n"},
      {"new section at the end", "C", QString("k"), QString("v"), before + "[C]\r\nk=v\r\n"},
      {"delete key", "A", QString("X"), std::nullopt,
       "; comment\r\n[A]\r\nY = 2\r\n\r\n[B]\r\nz=3\n[a]\r\nq=9\r\n"},
      {"delete first section of the name", "a", std::nullopt, std::nullopt,
       "; comment\r\n[B]\r\nz=3\n[a]\r\nq=9\r\n"},
      {"delete missing key", "B", QString("none"), std::nullopt, before},
      {"delete missing section", "None", std::nullopt, std::nullopt, before},
  };
  for (const Case& c : cases) {
    QString file = File(before);
    EXPECT_TRUE(profile::Write(file, c.section, c.key, c.value)) << c.what;
    EXPECT_EQ(Text(), c.after) << c.what;
  }
}

TEST_F(ProfileTest, FirstWriteCreatesTheFileAndDeletesCreateNothing) {
  QString file = dir_.path() + "/p.ini";
  EXPECT_TRUE(profile::Write(file, "S", QString("k"), std::nullopt));
  EXPECT_FALSE(QFile::exists(file));
  EXPECT_TRUE(profile::Write(file, "S", QString("k"), QString("v")));
  EXPECT_EQ(Text(), "[S]\r\nk=v\r\n");
  EXPECT_FALSE(profile::Write(dir_.path() + "/no/such/folder/p.ini", "S", QString("k"),
                              QString("v")));
}

TEST_F(ProfileTest, KeepsBytesThatAreNotUtf8) {
  QByteArray latin1 = "[S]\r\nName=Caf\xe9\r\n";
  QString file = File(latin1);
  EXPECT_EQ(profile::Read(file, "S", "Name"), QString::fromLatin1("Caf\xe9"));
  EXPECT_TRUE(profile::Write(file, "S", QString("k"), QString("v")));
  EXPECT_EQ(Text(), latin1 + "k=v\r\n");
}

}  // namespace
}  // namespace varnel
