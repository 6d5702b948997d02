#include "tests/varnel/support/station_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>

namespace varnel::testing {

StationTest::StationTest() {
  EnsureQtApp();
  hadDrives_ = std::getenv("JUX_DRIVES") != nullptr;
  if (hadDrives_) savedDrives_ = std::getenv("JUX_DRIVES");
  setenv("JUX_DRIVES", ("C=" + dir_.path()).toUtf8().constData(), 1);
  processes_.real = &realProcesses_;
  st_ = std::make_unique<Station>(Seams{&prompts_, &processes_, &pump_, &windows_, &status_, nullptr});
}

StationTest::~StationTest() {
  if (hadDrives_)
    setenv("JUX_DRIVES", savedDrives_.constData(), 1);
  else
    unsetenv("JUX_DRIVES");
}

QString StationTest::Host(const QString& relative) const { return dir_.path() + "/" + relative; }

void StationTest::WriteFile(const QString& relative, const QByteArray& bytes) const {
  QString path = Host(relative);
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  file.write(bytes);
}

QByteArray StationTest::ReadFile(const QString& relative) const {
  QFile file(Host(relative));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool StationTest::Exists(const QString& relative) const { return QFileInfo::exists(Host(relative)); }

void StationTest::WriteScript(const QString& relative, const QByteArray& body) const {
  WriteFile(relative, "#!/bin/sh\n" + body + "\n");
  QFile::setPermissions(Host(relative), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void StationTest::UseStationFolder() {
  QDir().mkpath(Host("Station"));
  st_->AppDir = "C:\\Station\\";
  st_->IniFile = "C:\\Station\\Varnel.Ini";
  st_->LogFile = "C:\\Station\\Varnel.Log";
  st_->LogLevel = 1;
}

QStringList StationTest::LogMessages() const {
  QStringList messages;
  for (const QString& line : QString::fromUtf8(ReadFile("Station/Varnel.Log")).split("\r\n")) {
    qsizetype at = line.indexOf(" - ");
    if (at >= 0) messages << line.mid(at + 3);
  }
  return messages;
}

}  // namespace varnel::testing
