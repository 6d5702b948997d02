// A station in a temporary folder: drive C: is the folder, every seam is a fake
// (the process host is the real one behind a recorder), and Varnel.Ini lives
// in C:\Station.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "tests/varnel/support/fakes.h"
#include "varnel/core/station.h"

namespace varnel::testing {

class StationTest : public ::testing::Test {
 protected:
  StationTest();
  ~StationTest() override;

  // Host path of a path relative to the temporary folder (drive C:).
  QString Host(const QString& relative) const;
  // Writes a file (folders created), relative to the temporary folder.
  void WriteFile(const QString& relative, const QByteArray& bytes) const;
  QByteArray ReadFile(const QString& relative) const;
  bool Exists(const QString& relative) const;
  // An executable shell script, relative to the temporary folder.
  void WriteScript(const QString& relative, const QByteArray& body) const;
  // Names the station's files in C:\Station as LoadIniFile does.
  void UseStationFolder();
  // The log lines, without their date and time.
  QStringList LogMessages() const;

  QTemporaryDir dir_;
  QByteArray savedDrives_;
  bool hadDrives_ = false;
  ScriptedPrompts prompts_;
  RecordingWindows windows_;
  RecordingPump pump_;
  QtProcessHost realProcesses_;
  RecordingProcesses processes_;
  NullStatus status_;
  std::unique_ptr<Station> st_;
};

}  // namespace varnel::testing
