// The request-queue program: the settings record it writes, the dialog driven
// by the test, and the program's command line.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include "tools/reqqueue/reqqueue.h"

namespace {

void EnsureApp() {
  if (QCoreApplication::instance()) return;
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "reqqueue_test";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
}

QByteArray Padded(const QByteArray& text, int size) { return text + QByteArray(size - text.size(), ' '); }

class ReqQueueTest : public ::testing::Test {
 protected:
  ReqQueueTest() { EnsureApp(); }
  QString H(const QString& r) { return dir_.path() + "/" + r; }
  QByteArray Read(const QString& r) {
    QFile f(H(r));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  // Presses a button of the dialog that is up once the event loop runs.
  static void PressLater(QDialogButtonBox::StandardButton which, std::function<void(reqqueue::RequestQueueDialog&)> fill) {
    QTimer::singleShot(0, [which, fill] {
      auto* d = qobject_cast<reqqueue::RequestQueueDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(d, nullptr);
      fill(*d);
      d->findChild<QDialogButtonBox*>()->button(which)->click();
    });
  }
  QTemporaryDir dir_;
};

TEST_F(ReqQueueTest, OkWritesTheSettingsRecord) {
  PressLater(QDialogButtonBox::Ok, [](reqqueue::RequestQueueDialog& d) {
    d.spnCopies->setValue(4);
    d.chkDeferred->setChecked(false);
    d.cboMedia->setCurrentText("Vellum");
    d.txtTitle->setText("SITE 7");
    d.txtComment->setText("For the archive");
  });
  reqqueue::Options options;
  options.settingsFile = H("TempScan.JUX");
  ASSERT_EQ(reqqueue::RunRequestQueue(options), 0);
  QByteArray record = Read("TempScan.JUX");
  ASSERT_EQ(record.size(), 330);
  // The table's defaults, with the dialog's fields set.
  QByteArray want(330, '\0');
  want.replace(0, 148, QByteArray(148, ' '));
  want.replace(148, 30, Padded("SITE 7", 30));
  want.replace(178, 30, QByteArray(30, ' '));
  want.replace(208, 6, "Vellum");
  want.replace(214, 30, Padded("For the archive", 30));
  want[244] = 'R';
  want.replace(248, 4, QByteArray("\x00\x00\xC8\x42", 4));
  want.replace(284, 6, QByteArray("\x04\x00\x00\x00\x64\x00", 6));  // copies 4, SetFlag 0, 100
  want.replace(292, 4, QByteArray("\x00\x00\x00\x3F", 4));
  EXPECT_EQ(record.toHex(' '), want.toHex(' '));
}

TEST_F(ReqQueueTest, CancelWritesNothing) {
  PressLater(QDialogButtonBox::Cancel, [](reqqueue::RequestQueueDialog& d) { d.spnCopies->setValue(9); });
  reqqueue::Options options;
  options.settingsFile = H("TempScan.JUX");
  EXPECT_EQ(reqqueue::RunRequestQueue(options), 1);
  EXPECT_FALSE(QFileInfo::exists(H("TempScan.JUX")));
}

TEST_F(ReqQueueTest, FieldsAreCutToTheRecord) {
  reqqueue::RequestQueueDialog d({});
  d.txtTitle->setText(QString(40, 'T'));
  d.cboMedia->setCurrentText("Transparent");
  EXPECT_EQ(d.Chosen().title.size(), 30);
  EXPECT_EQ(d.Chosen().media.size(), 6);
  EXPECT_EQ(d.Chosen().copies, 1);
  EXPECT_TRUE(d.Chosen().deferred);
}

TEST_F(ReqQueueTest, CommandLine) {
  setenv("JUX_DRIVES", ("C=" + dir_.path()).toUtf8().constData(), 1);
  QDir().mkpath(H("My Temp"));
  struct Case {
    QStringList args;
    int exitCode;
    const char* file;  // written, relative to the drive
    int copies;
  } cases[] = {
      {{"/S", "C:\\My", "Temp\\TempScan.JUX", "/Q", "/C:3", "/D:1"}, 0, "My Temp/TempScan.JUX", 3},
      {{"/S", "C:\\quiet.JUX", "/Q"}, 0, "quiet.JUX", 1},
      {{"/S", "C:\\bad.JUX", "/Q", "/C:0"}, 2, "bad.JUX", -1},
      {{"/Q", "/C:2"}, 2, "", -1},
      {{"/S", "C:\\unknown.JUX", "/X"}, 2, "unknown.JUX", -1},
      // Host paths, also with a blank (in two parts).
      {{"/S", H("host.JUX"), "/Q", "/C:2"}, 0, "host.JUX", 2},
      {{"/S", H("My"), "Temp/host.JUX", "/Q", "/C:4"}, 0, "My Temp/host.JUX", 4},
      {{"/S", "/Q", "/C:2"}, 2, "", -1},
  };
  for (const Case& c : cases) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(JUX_BIN_DIR "/reqqueue", c.args);
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), c.exitCode) << c.args.join(' ').toStdString();
    if (*c.file == 0) continue;
    QByteArray record = Read(c.file);
    if (c.copies < 0) {
      EXPECT_TRUE(record.isEmpty()) << c.file;
    } else {
      ASSERT_EQ(record.size(), 330) << c.file;
      EXPECT_EQ(uint8_t(record[284]), c.copies);
      EXPECT_EQ(uint8_t(record[286]), 1);
    }
  }
  unsetenv("JUX_DRIVES");
}

}  // namespace
