#include "varnel/pipeline/convert.h"

#include <QFile>
#include <QtEndian>

#include "varnel/core/configcheck.h"
#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/runner.h"

namespace varnel {
namespace {

QString Flag(bool value) { return value ? "True" : "False"; }
// Numbers on the option line carry one leading blank.
QString Num(int value) { return " " + QString::number(value); }

// A one-line response file, ended by CR LF. False when it cannot be written.
bool WriteResponseFile(const QString& path, const QString& line) {
  QFile file(HostPath(path));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  QByteArray bytes = line.toLocal8Bit() + "\r\n";
  return file.write(bytes) == bytes.size();
}

}  // namespace

int16_t RotationCode(const Station& st, int16_t Rotate, bool Mirror) {
  int16_t code = st.ToyotaFlag ? 0 : Rotate;
  if (Mirror) code += 4;
  return code;
}

QString File2TlcLine(const Station& st, const QString& ScanFile, const QString& TlcFile,
                     int16_t Dpi, int16_t Rotate, bool Invert, bool Mirror) {
  const QString& t = st.TempDir;
  QString line = "-Q " + t + "Tile.Out -E " + t + "Tile.Err -o " + TlcFile;
  line += " -r" + Num(RotationCode(st, Rotate, Mirror));
  // This model scans 300 dpi drawings with its 400 dpi optics.
  line += st.MachineType == "6737" && Dpi == 300 ? QString(" -D 400") : " -D" + Num(Dpi);
  if (Invert) line += " -I";
  line += " -M " + st.MiniViewSize;
  line += " " + ScanFile;
  return line;
}

QString Tlc2RastLine(const Station& st, const QString& TlcFile, const QString& OutFile,
                     const QString& OutputType) {
  const QString& t = st.TempDir;
  return "-E " + t + "TlcPr.Err -Q " + t + "TlcPr.Out " + OutputType + " -o " + OutFile + " " +
         TlcFile;
}

void File2Tlc(Station& st, const QString& ScanFile, const QString& TlcFile, int16_t Dpi,
              int16_t Rotate, bool Invert, bool Mirror, bool Mini) {
  // The conversion's values in the log when debugging.
  if (st.DebugFlag) {
    WriteLog(st, 1, "File2Tlc Values:");
    WriteLog(st, 1, "MachineType: " + st.MachineType);
    WriteLog(st, 1, "ScanFile$: " + ScanFile);
    WriteLog(st, 1, "TlcFile$: " + TlcFile);
    WriteLog(st, 1, "DPI:     " + QString::number(Dpi));
    WriteLog(st, 1, "Rotate:  " + QString::number(Rotate));
    WriteLog(st, 1, "Invert:  " + Flag(Invert));
    WriteLog(st, 1, "Mirror:  " + Flag(Mirror));
    WriteLog(st, 1, "Mini:    " + Flag(Mini));
  }
  // A value that is not of its form never reaches the option line.
  QString response = st.TempDir + "File2Tlc.Dat";
  if (!IsSizePair(st.MiniViewSize)) {
    WriteLog(st, 0, "MiniViewSize \"" + st.MiniViewSize + "\" is not two numbers; no conversion");
    return;
  }
  if (!WriteResponseFile(response, File2TlcLine(st, ScanFile, TlcFile, Dpi, Rotate, Invert, Mirror))) {
    // A stale response file must not be run in its place.
    WriteLog(st, 0, response + " cannot be written; no conversion");
    return;
  }
  // The converter reads its options from the response file.
  bool result = false;
  Execute(st, "-@ " + response, st.File2TlcExe, result, OnAbort::End);
}

void Tlc2Rast(Station& st, const QString& TlcFile, const QString& OutFile,
              const QString& OutputType, bool /*View*/) {
  // The option line in a response file, which the converter then reads.
  QString response = st.TempDir + "Tlc2Rast.Dat";
  if (!WriteResponseFile(response, Tlc2RastLine(st, TlcFile, OutFile, OutputType))) {
    WriteLog(st, 0, response + " cannot be written; no conversion");
    st.LastResult = false;
    return;
  }
  bool result = false;
  Execute(st, "-@ " + response, st.ExportExe, result, OnAbort::End);
  st.LastResult = result;
  // Only a file that the converter wrote is patched.
  if (st.ToyotaFlag && FileExists(OutFile)) PatchOrientation(OutFile);
}

bool PatchOrientation(const QString& OutFile) {
  QFile file(HostPath(OutFile));
  if (!FileExists(OutFile) || !file.open(QIODevice::ReadWrite)) return false;
  QByteArray header = file.read(8);
  if (header.size() < 8 || !file.seek(qFromLittleEndian<uint32_t>(header.constData() + 4)))
    return false;
  QByteArray countBytes = file.read(2);
  if (countBytes.size() < 2) return false;
  uint16_t count = qFromLittleEndian<uint16_t>(countBytes.constData());
  qint64 found = 0;
  for (uint16_t i = 0; i < count; ++i) {
    qint64 at = file.pos();
    QByteArray entry = file.read(12);
    if (entry.size() < 12) break;
    if (qFromLittleEndian<uint16_t>(entry.constData()) == 284) found = at;
  }
  if (found <= 0) return false;
  char entry[12];
  qToLittleEndian<uint16_t>(274, entry);
  qToLittleEndian<uint16_t>(3, entry + 2);
  qToLittleEndian<uint32_t>(1, entry + 4);
  qToLittleEndian<uint32_t>(8, entry + 8);
  return file.seek(found) && file.write(entry, 12) == 12;
}

}  // namespace varnel
