// The folder browser's procedures on real temporary trees, with scripted boxes.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTest>

#include "tests/varnel/support/station_fixture.h"
#include "varnel/files/browser.h"
#include "varnel/files/lists.h"

namespace varnel {
namespace {

using Answer = Prompts::Answer;

// Answers the input dialog from a function and records what it was asked.
class ScriptedInputs : public InputDialogs {
 public:
  std::function<QString(const QString& proposed)> answer = [](const QString& p) { return p; };
  QStringList asked;
  QString InputBox(const QString& caption, const QString& prompt, const QString& proposed,
                   const std::function<QPoint(const QSize&)>&) override {
    asked << caption + "|" + prompt + "|" + proposed;
    return answer(proposed);
  }
};

class BrowserTest : public testing::StationTest {
 protected:
  BrowserTest() {
    testing::EnsureQtApp();
    f_.DirMasterList = &dirs_;
    st_->seams.inputs = &inputs_;
    st_->AppDir = "C:\\Station\\";
    WriteFile("Station/Varnel.Ini", "");
    WriteFile("Scans/keep.txt", "x");
  }
  // Creates a tree under C:\Scans\Old: files at two levels.
  void MakeTree() {
    for (const char* file : {"Scans/Old/a.tif", "Scans/Old/Sub/b.tif", "Scans/Old/Sub/Deep/c.tif",
                             "Scans/Old/Z/d.tif"})
      WriteFile(file, "x");
  }
  QStringList Shown() const {
    QStringList texts;
    for (const auto& box : prompts_.shown) texts << box.title + ": " + box.text;
    return texts;
  }
  ScriptedInputs inputs_;
  Form f_;
  DirListBox dirs_;
};

TEST_F(BrowserTest, CreateFolderMakesTheNameOnceAndRefusesItTheSecondTime) {
  ASSERT_TRUE(dirs_.SetPath("C:\\Scans"));
  cmdCreateDir_Click(*st_, f_);
  EXPECT_TRUE(QFileInfo(Host("Scans/New Folder")).isDir());
  EXPECT_EQ(dirs_.List(0), "C:\\Scans\\New Folder");
  cmdCreateDir_Click(*st_, f_);
  EXPECT_EQ(inputs_.asked, QStringList(2, "Create Folder|Folder Name:|New Folder"));
  EXPECT_EQ(Shown(), QStringList{"Unable To Create Folder: Folder already exists: "
                                 "'C:\\Scans\\New Folder'"});
  // A file of that name counts too; an empty answer does nothing.
  WriteFile("Scans/Plan", "x");
  inputs_.answer = [](const QString&) { return QString("Plan"); };
  cmdCreateDir_Click(*st_, f_);
  EXPECT_EQ(prompts_.shown.size(), 2);
  inputs_.answer = [](const QString&) { return QString(); };
  cmdCreateDir_Click(*st_, f_);
  EXPECT_EQ(prompts_.shown.size(), 2);
  EXPECT_EQ(dirs_.ListCount(), 1);
}

TEST_F(BrowserTest, CreateFolderAtTheRootJoinsWithOneBackslash) {
  ASSERT_TRUE(dirs_.SetPath("C:\\"));
  inputs_.answer = [](const QString&) { return QString("Top"); };
  cmdCreateDir_Click(*st_, f_);
  EXPECT_TRUE(QFileInfo(Host("Top")).isDir());
  EXPECT_TRUE(prompts_.shown.isEmpty());
}

TEST_F(BrowserTest, RemoveFolderProtectsOnlyTheApplicationFolderInAnyCase) {
  struct Case {
    const char* highlighted;  // folder the list is on; its entry -1 is highlighted
    QList<Answer> answers;
    bool removed;
    const char* firstBox;
  };
  const Case cases[] = {
      {"c:\\STATION", {}, false,
       "Can not Delete this Folder: You can not Delete the application Folder"},
      {"C:\\Scans\\Old", {Answer::No}, false,
       "Delete Folder: Are you sure you want to remove the Folder: 'C:\\Scans\\Old' and all its "
       "contents?"},
      {"C:\\Scans\\Old", {Answer::Yes}, true, nullptr},
  };
  for (const Case& c : cases) {
    MakeTree();
    prompts_.shown.clear();
    prompts_.answers = c.answers;
    ASSERT_TRUE(dirs_.SetPath(c.highlighted));
    cmdRemoveDir_Click(*st_, f_);
    bool gone = !QFileInfo::exists(Host("Scans/Old"));
    EXPECT_EQ(gone, c.removed) << c.highlighted;
    EXPECT_TRUE(Exists("Station/Varnel.Ini"));
    if (c.firstBox) {
      ASSERT_FALSE(prompts_.shown.isEmpty());
      EXPECT_EQ(Shown().first(), c.firstBox);
    } else {
      EXPECT_EQ(prompts_.shown.size(), 1);  // only the question
      EXPECT_EQ(dirs_.Path(), "C:\\Scans");  // moved to the parent first
      EXPECT_EQ(dirs_.ListCount(), 0);
    }
  }
  // The application folder's parent is not protected.
  ASSERT_TRUE(dirs_.SetPath("C:\\"));
  WriteFile("Parent/Station/x", "x");
  ASSERT_TRUE(dirs_.SetPath("C:\\Parent"));
  prompts_.answers = {Answer::Yes};
  st_->AppDir = "C:\\Parent\\Station\\";
  cmdRemoveDir_Click(*st_, f_);
  EXPECT_FALSE(QFileInfo::exists(Host("Parent")));
}

TEST_F(BrowserTest, DelTreeStopsAtAReadOnlyFileAndCancelKeepsItsFolders) {
  MakeTree();
  QFile::setPermissions(Host("Scans/Old/Sub/Deep/c.tif"), QFile::ReadOwner);
  prompts_.answers = {Answer::Retry, Answer::Cancel, Answer::Cancel, Answer::Cancel};
  DelTree(*st_, "C:\\Scans\\Old");
  // Asked twice about the same file, then this level was abandoned; the levels
  // above report their own folders, which are not empty.
  ASSERT_GE(prompts_.shown.size(), 2);
  EXPECT_EQ(prompts_.shown[0].text,
            "Path/File access error C:\\Scans\\Old\\Sub\\Deep\\c.tif");
  EXPECT_EQ(prompts_.shown[0].title, "Error in DelTree");
  EXPECT_EQ(prompts_.shown[0].buttons, Prompts::Buttons::RetryCancel);
  EXPECT_EQ(prompts_.shown[0].icon, Prompts::Icon::Critical);
  EXPECT_EQ(prompts_.shown[1].text, prompts_.shown[0].text);
  QStringList rest;
  for (int i = 2; i < prompts_.shown.size(); ++i) rest << prompts_.shown[i].text;
  EXPECT_EQ(rest, (QStringList{"Path/File access error C:\\Scans\\Old\\Sub",
                               "Path/File access error C:\\Scans\\Old"}));
  EXPECT_TRUE(Exists("Scans/Old/Sub/Deep/c.tif"));
  // What went before stays gone; the next subfolder was still removed.
  EXPECT_FALSE(Exists("Scans/Old/a.tif"));
  EXPECT_FALSE(Exists("Scans/Old/Sub/b.tif"));
  EXPECT_FALSE(QFileInfo::exists(Host("Scans/Old/Z")));
}

TEST_F(BrowserTest, DelTreeRemovesLinksAsLinksAndNeverEntersTheirTargets) {
  MakeTree();
  WriteFile("Outside/precious.tif", "keep");
  WriteFile("Outside/Inner/also.tif", "keep");
  ASSERT_TRUE(QFile::link(Host("Outside"), Host("Scans/Old/Sub/link-to-outside")));
  ASSERT_TRUE(QFile::link(Host("Outside/precious.tif"), Host("Scans/Old/file-link")));
  ASSERT_TRUE(QFile::link(Host("nowhere"), Host("Scans/Old/broken")));
  DelTree(*st_, "C:\\Scans\\Old\\");
  EXPECT_TRUE(prompts_.shown.isEmpty()) << Shown().join('\n').toStdString();
  EXPECT_FALSE(QFileInfo::exists(Host("Scans/Old")));
  EXPECT_EQ(ReadFile("Outside/precious.tif"), "keep");
  EXPECT_EQ(ReadFile("Outside/Inner/also.tif"), "keep");
  // A tree that is itself a link: the link goes, its target stays whole.
  ASSERT_TRUE(QFile::link(Host("Outside"), Host("Scans/Alias")));
  DelTree(*st_, "C:\\Scans\\Alias");
  EXPECT_FALSE(QFileInfo(Host("Scans/Alias")).isSymLink());
  EXPECT_EQ(ReadFile("Outside/Inner/also.tif"), "keep");
}

TEST_F(BrowserTest, ClicksOpenOnlyWhileTheMouseIsDownKeysOpenWithSpaceOrEnter) {
  WriteFile("Scans/A/x", "x");
  WriteFile("Scans/B/x", "x");
  ASSERT_TRUE(dirs_.SetPath("C:\\Scans"));
  QObject::connect(&dirs_, &DirListBox::Click, [&] { DirMasterList_Click(f_); });
  QObject::connect(&dirs_, &DirListBox::KeyPress, [&](int key) { DirMasterList_KeyPress(f_, key); });
  QObject::connect(&dirs_, &DirListBox::MouseDown, [&] { DirMasterList_MouseDown(f_); });
  QObject::connect(&dirs_, &DirListBox::MouseUp, [&] { DirMasterList_MouseUp(f_); });
  dirs_.resize(200, 300);
  dirs_.show();
  QTest::keyClick(&dirs_, Qt::Key_Down);
  QTest::keyClick(&dirs_, Qt::Key_Down);
  EXPECT_EQ(dirs_.Path(), "C:\\Scans");
  EXPECT_EQ(dirs_.ListIndex(), 1);
  QTest::keyClick(&dirs_, Qt::Key_Return);
  EXPECT_EQ(dirs_.Path(), "C:\\Scans\\B");
  QTest::keyClick(&dirs_, Qt::Key_Up);  // to entry -2, C:\Scans
  QTest::keyClick(&dirs_, Qt::Key_Space);
  EXPECT_EQ(dirs_.Path(), "C:\\Scans");
  // A click on the first subfolder opens it at once.
  QTest::mouseClick(dirs_.viewport(), Qt::LeftButton, {}, dirs_.visualItemRect(dirs_.item(2)).center());
  EXPECT_EQ(dirs_.Path(), "C:\\Scans\\A");
  EXPECT_FALSE(f_.DirMouseDown);
}

}  // namespace
}  // namespace varnel
