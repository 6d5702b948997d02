#include "varnel/core/scanner.h"

#include <QFile>

#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/runner.h"
#include "varnel/core/strings.h"

namespace varnel {
namespace {

// Positions counted from 1 in the status file.
constexpr int kThresholdPosition = 58;  // byte 1 of command 14
constexpr int kSpeedPosition = 14;      // byte 1 of command 3

int ByteAt(const QByteArray& bytes, int position) {
  return position <= bytes.size() ? static_cast<unsigned char>(bytes[position - 1]) : 0;
}

}  // namespace

QString StatusFileName(const Station& st) { return st.TempDir + "JuxStat.Dat"; }

bool ReadBit(int value, int& bitNumber) {
  bitNumber = bitNumber > 1 ? 1 << (bitNumber - 1) : 1;
  return (value & bitNumber) != 0;
}

StatusReading ReadStatusBytes(const QByteArray& status) {
  StatusReading reading{};
  int threshold = ByteAt(status, kThresholdPosition);
  if (threshold >= 128) threshold -= 128;  // bit 0x80 is a flag
  reading.threshold = static_cast<int16_t>(threshold == 0 ? -1 : threshold);

  int speed = ByteAt(status, kSpeedPosition);
  int bit6 = 6, bit5 = 5;
  bool fast = ReadBit(speed, bit6), half = ReadBit(speed, bit5);
  reading.speed = static_cast<int16_t>(fast ? (half ? 160 : 120) : (half ? 80 : 40));
  return reading;
}

int16_t ReadThreshold(Station& st) {
  // Without the scanner: the middle of the range and the fastest speed.
  if (st.HardwareConnect != "YES") {
    st.ScannerSpeed = 160;
    return 72;
  }
  st.seams.windows->ShowSplashStatus(LoadResString(resReadingThreshold));

  // A file left from an earlier run must not pass for this run's answer.
  QString statusFile = StatusFileName(st);
  bool stale = !DeleteFile(statusFile);
  if (stale) WriteLog(st, 0, statusFile + " cannot be deleted");

  bool result = false;
  if (!stale) Execute(st, "/S /O:" + statusFile, st.StatusExe, result);
  st.LastResult = result;

  QFile file(HostPath(statusFile));
  if (stale || !file.open(QIODevice::ReadOnly)) {
    st.seams.prompts->MsgBox(LoadResString(resErrorCommunicating), Prompts::Buttons::Ok,
                             Prompts::Icon::Critical, LoadResString(resTerminating));
    return -1;
  }
  StatusReading reading = ReadStatusBytes(file.readAll());
  st.ScannerSpeed = reading.speed;
  return reading.threshold;
}

}  // namespace varnel
