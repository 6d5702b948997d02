// The folder browser's procedures on real temporary trees, with scripted boxes.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QMap>
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

TEST_F(BrowserTest, CreateFolderRefusesANameThatLeadsElsewhere) {
  ASSERT_TRUE(dirs_.SetPath("C:\\Scans"));
  const auto before = QDir(Host("")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
  for (const char* name : {"..\\ESC2", "../ESC3", "C:\\ESC4", "a.b", "  "}) {
    prompts_.shown.clear();
    inputs_.answer = [name](const QString&) { return QString(name); };
    cmdCreateDir_Click(*st_, f_);
    EXPECT_EQ(Shown(), QStringList(QString("Unable To Create Folder: The name can not be used: '") +
                                   name + "'"));
  }
  EXPECT_EQ(QDir(Host("")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
  EXPECT_EQ(dirs_.ListCount(), 0);
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
  // Nor is any folder that holds it, nor a drive's root.
  for (const char* holder : {"C:\\", "C:\\Parent", "c:\\parent\\"}) {
    WriteFile("Parent/Station/x", "x");
    st_->AppDir = "C:\\Parent\\Station\\";
    ASSERT_TRUE(dirs_.SetPath(holder));
    prompts_.shown.clear();
    prompts_.answers = {Answer::Yes};
    cmdRemoveDir_Click(*st_, f_);
    EXPECT_TRUE(Exists("Parent/Station/x")) << holder;
    ASSERT_EQ(prompts_.shown.size(), 1) << holder;
    EXPECT_EQ(prompts_.shown[0].title, "Can not Delete this Folder");
  }
  EXPECT_TRUE(Shown()[0].startsWith(
      "Can not Delete this Folder: You can not remove a folder that holds the application Folder:"));
}

// Every file and folder under the drive (C:), with its bytes, but those under `tree`.
QMap<QString, QByteArray> Snapshot(const QString& drive, const QString& tree) {
  QMap<QString, QByteArray> all;
  QDirIterator it(drive, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    if (path == tree || path.startsWith(tree + '/')) continue;
    QFile file(path);
    all[path] = it.fileInfo().isFile() && file.open(QIODevice::ReadOnly) ? file.readAll() : "dir";
  }
  return all;
}

TEST_F(BrowserTest, DelTreeNeverLeavesTheTreeWhateverAnEntryIsCalled) {
  // Entries whose names read as other Windows paths: each is only a name here.
  MakeTree();
  WriteFile("VICTIM/keep.tif", "keep");
  WriteFile("Scans/VICTIM/keep.tif", "keep");
  WriteFile("Station/Settings/DEFAULT.Set", "keep");
  for (const char* name : {"..\\..\\VICTIM", "..\\VICTIM", "\\", "\\\\", "C:\\VICTIM", "..\\",
                           ".\\", "Sub\\..\\..", "*", " .. "}) {
    QDir().mkpath(Host("Scans/Old/Odd") + '/' + name);
    WriteFile(QString("Scans/Old/Odd/") + name + "/inner.tif", "x");
    QFile::link(Host("VICTIM"), Host("Scans/Old/Odd/") + name + "/link");
  }
  const QString tree = Host("Scans/Old");
  const auto before = Snapshot(Host(""), tree);
  ASSERT_GT(before.size(), 5);
  DelTree(*st_, "C:\\Scans\\Old");
  EXPECT_TRUE(prompts_.shown.isEmpty()) << Shown().join('\n').toStdString();
  EXPECT_FALSE(QFileInfo::exists(tree));
  EXPECT_EQ(Snapshot(Host(""), tree), before);
}

TEST_F(BrowserTest, DelTreeRefusesADriveRootAndTheProgramFolderAndItsParents) {
  MakeTree();
  WriteFile("Station/Settings/DEFAULT.Set", "keep");
  st_->AppDir = "C:\\Station\\";
  const auto before = Snapshot(Host(""), QString());
  for (const char* folder : {"C:\\", "C:\\Scans\\..", "C:\\Station", "C:\\station\\"}) {
    prompts_.shown.clear();
    DelTree(*st_, folder);
    ASSERT_EQ(prompts_.shown.size(), 1) << folder;
    EXPECT_EQ(prompts_.shown[0].title, "Can not Delete this Folder") << folder;
  }
  EXPECT_EQ(Snapshot(Host(""), QString()), before);
  // A program folder under no drive is safe from every removal on the drives.
  st_->AppDir = QDir::tempPath() + "/elsewhere\\";
  prompts_.shown.clear();
  DelTree(*st_, "C:\\Scans\\Old");
  EXPECT_TRUE(prompts_.shown.isEmpty());
  EXPECT_FALSE(QFileInfo::exists(Host("Scans/Old")));
}

TEST_F(BrowserTest, AfterARemovalTheListShowsAFolderThatIsStillThere) {
  MakeTree();
  ASSERT_TRUE(dirs_.SetPath("C:\\Scans\\Old\\Sub\\Deep"));
  dirs_.SetListIndex(-3);  // C:\Scans\Old, two levels up
  prompts_.answers = {Answer::Yes};
  cmdRemoveDir_Click(*st_, f_);
  EXPECT_FALSE(QFileInfo::exists(Host("Scans/Old")));
  EXPECT_EQ(dirs_.Path(), "C:\\Scans");
  EXPECT_TRUE(Exists("Scans/keep.txt"));
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
  EXPECT_EQ(prompts_.shown[0].defaultButton, Answer::Cancel);
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
