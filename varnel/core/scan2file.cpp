#include "varnel/core/scan2file.h"

#include <QFile>
#include <QtEndian>
#include <cmath>

#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/runner.h"
#include "varnel/core/strings.h"

namespace varnel {

QString ImageModeArg(const ImageModeButtons& buttons) {
  if (buttons.lineArt) return "0";
  if (buttons.photo1) return "1";
  if (buttons.photo2) return "2";
  return {};
}

int32_t ScanScale(int16_t Dpi, int16_t ScanType) {
  if (ScanType != 1) return 1000;
  float scale = static_cast<float>(Dpi) / 400.0f * 1000.0f;
  return static_cast<int32_t>(std::nearbyint(scale));  // halves to even
}

QString ScanArgs(const QString& thresholdArg, int16_t ScanWidth, int32_t scale,
                 const QString& imageMode, const QString& scanFile) {
  return thresholdArg + "/L:" + QString::number(ScanWidth) + " /S:" + QString::number(scale) +
         " /P:" + imageMode + " /O:" + scanFile;
}

StripAmounts StripAmountsFor(const Station& st, int16_t Dpi) {
  switch (Dpi) {
    case 100: return {st.StripLeading100DPI, st.StripTrailing100DPI};
    case 200: return {st.StripLeading200DPI, st.StripTrailing200DPI};
    case 300: return {st.StripLeading300DPI, st.StripTrailing300DPI};
    case 400: return {st.StripLeading400DPI, st.StripTrailing400DPI};
    default: return {};
  }
}

QString ScanExitCause(int exitCode) {
  static const struct {
    int code;
    int text;
  } kCauses[] = {{1, resScanNoDevice},     {2, resScanBadArgument},    {3, resScanBusy},
                 {4, resScanNoAnswer},     {6, resScanNotFinished},    {7, resScanTooFast},
                 {15, resScanOverrun},     {95, resScanChannelReset},  {99, resScanEscape},
                 {ProcessHost::kKilledExit, resScanKilled}};
  if (exitCode == 0) return {};
  for (const auto& cause : kCauses)
    if (cause.code == exitCode) return LoadResString(cause.text);
  return LoadResString(resScanOtherCode).arg(exitCode);
}

bool Scan2File(Station& st, const QString& FileName, int16_t Dpi, int16_t ScanWidth,
               int16_t ScanType, const ImageModeButtons& buttons, QString* problem) {
  StatusDisplay& status = *st.seams.status;
  QString ignored;
  QString& why = problem ? *problem : ignored;
  why.clear();
  // No old scan under the name can be taken for this one, nor the 400 dpi
  // scan of an earlier software reduction.
  QString scanFile = ScanType == 2 ? st.TempDir + "Scale.Tif" : FileName;
  for (const QString& old : {FileName, scanFile})
    if (FileExists(old)) DeleteFile(old);
  WriteLog(st, 1, QString("Line Art: ") + (buttons.lineArt ? "True" : "False"));
  int32_t scale = ScanScale(Dpi, ScanType);
  // The operator's prompt. Until juxscan has ended, a close of the window
  // tells by the scan file whether the sheet has begun to come in.
  st.ScanningInto = scanFile;
  if (st.AutoModeOn) {
    status.ShowStatusBox(LoadResString(resAutoScanMode), LoadResString(resAutoInsert),
                         LoadResString(resAutoKeys));
    if (st.StayingViewerTaskId != 0 && st.seams.tasks)
      st.seams.tasks->AppActivate(st.StayingViewerTaskId);  // errors ignored
  } else {
    status.ShowStatusBox(LoadResString(resInsertDocument), LoadResString(resPressStart));
  }
  // Image mode; software reduction scans into Scale.Tif first.
  QString imageMode = ImageModeArg(buttons);
  // ESC (or a close of the window) while the prompt came up: no scan is begun.
  if (st.AbortRequested) {
    st.ScanningInto.clear();
    status.ShowStatusBox();
    return false;
  }
  // The scan; the threshold change goes with this scan only.
  QString args = ScanArgs(st.PendingThresholdArg, ScanWidth, scale, imageMode, scanFile);
  bool result = false;
  bool found = FileExists(st.ScanExe);
  Execute(st, args, st.ScanExe, result, OnAbort::EndThroughReset);
  st.ScanningInto.clear();
  std::optional<int> exitCode = st.LastExitCode;
  st.LastResult = result;
  st.PendingThresholdArg.clear();
  status.ShowStatusBox();
  // A scan that juxscan did not finish is no scan, whatever it left in the
  // file; the operator's ESC ends it quietly, a missing program has its box.
  if (!result) {
    if (found && !st.AbortRequested) why = LoadResString(resScanNotWaited);
    return false;
  }
  if (exitCode && *exitCode != 0) {
    why = ScanExitCause(*exitCode);
    return false;
  }
  if (!FileExists(scanFile)) return false;
  // Strip failures leave the scan as it is and do not change the outcome,
  // except amounts that would leave nothing of it.
  StripAmounts strip = StripAmountsFor(st, Dpi);
  if (StripTiff(scanFile, strip.leading, strip.trailing) == kStripTooMany) {
    std::optional<ScanSize> size = ReadScanSize(scanFile);
    if (size && size->lines > 0) {  // a scan without lines is judged by its caller
      why = LoadResString(resStripTooMany).arg(strip.leading).arg(strip.trailing).arg(size->lines);
      return false;
    }
  }
  // Software reduction from 400 dpi through TLC.
  if (ScanType == 2) {
    status.ShowStatusBox(LoadResString(resReducingImage),
                         LoadResString(resReducingTo) + " " + QString::number(Dpi) + " DPI");
    const QString& t = st.TempDir;
    bool ran = false;
    // No earlier reduction's TLC is taken for this one.
    DeleteFile(t + "Scale.Tlc");
    Execute(st, "-E " + t + "Tile.Err -Q " + t + "Tile.Out -o " + t + "Scale.Tlc " + t + "Scale.Tif",
            st.File2TlcExe, ran, OnAbort::End);
    if (!st.AbortRequested && FileExists(t + "Scale.Tlc"))
      Execute(st,
              "-E " + t + "TlcPr.Err -Q " + t + "TlcPr.Out -T -o " + FileName + " -P 400," +
                  QString::number(Dpi) + " " + t + "Scale.Tlc",
              st.ExportExe, ran, OnAbort::End);
    status.ShowStatusBox();
    if (FileExists(t + "Scale.Tif")) DeleteFile(t + "Scale.Tif");
    if (FileExists(t + "Scale.Tlc")) DeleteFile(t + "Scale.Tlc");
    // ESC during the reduction: whatever the converter left is not this scan.
    if (st.AbortRequested) {
      DeleteFile(FileName);
      return false;
    }
  }
  return true;
}

namespace {

constexpr uint16_t kImageWidth = 256, kImageLength = 257, kCompression = 259,
                   kStripOffsets = 273, kRowsPerStrip = 278;
constexpr uint32_t kPackBits = 32773;
constexpr qint64 kWalkWindow = 8192;

uint16_t U16(const char* p) { return qFromLittleEndian<uint16_t>(p); }
uint32_t U32(const char* p) { return qFromLittleEndian<uint32_t>(p); }

// Reads the PackBits data in windows, one byte at a time.
class Walker {
 public:
  Walker(QFile& file, qint64 start) : file_(file), pos_(start) {}
  // The next byte; false at the end of the file.
  bool Next(uint8_t& byte) {
    if (at_ >= window_.size()) {
      if (!file_.seek(pos_ + window_.size())) return false;
      pos_ += window_.size();
      window_ = file_.read(kWalkWindow);
      at_ = 0;
      if (window_.isEmpty()) return false;
    }
    byte = static_cast<uint8_t>(window_[at_++]);
    return true;
  }
  // Skips count bytes; false when the file ends first.
  bool Skip(qint64 count) {
    uint8_t ignored;
    for (qint64 i = 0; i < count; ++i)
      if (!Next(ignored)) return false;
    return true;
  }

 private:
  QFile& file_;
  qint64 pos_;
  QByteArray window_;
  qsizetype at_ = 0;
};

// Walks Leading complete lines of PackBits data; the number of bytes walked,
// or nothing when a run crosses a line end or the data ends first.
std::optional<qint64> WalkLines(QFile& file, qint64 dataOffset, int64_t lineBytes, int32_t Leading) {
  Walker walk(file, dataOffset);
  qint64 walked = 0;
  int64_t line = 0;
  int32_t lines = 0;
  while (lines < Leading) {
    uint8_t n;
    if (!walk.Next(n)) return std::nullopt;
    if (n <= 127) {
      if (!walk.Skip(n + 1)) return std::nullopt;
      line += n + 1;
      walked += n + 2;
    } else if (n >= 129) {
      if (!walk.Skip(1)) return std::nullopt;
      line += 257 - n;
      walked += 2;
    } else {
      walked += 1;
      continue;
    }
    if (line == lineBytes) {
      ++lines;
      line = 0;
    } else if (line > lineBytes) {
      return std::nullopt;
    }
  }
  return walked;
}

}  // namespace

std::optional<int> StripTiff(const QString& FileName, int32_t Leading, int32_t Trailing) {
  // Nothing to strip: the file is not touched.
  if (Leading == 0 && Trailing == 0) return std::nullopt;
  if (!FileExists(FileName)) return kStripNoFile;
  QFile file(HostPath(FileName));
  if (!file.open(QIODevice::ReadWrite)) return kStripNoFile;
  // Only a little-endian TIFF is edited.
  QByteArray header = file.read(8);
  if (header.size() < 8 || header.left(2) != "II") return kStripNotLittleEndian;
  // The directory. Every change is made only once the whole edit is known to
  // be sound, so that a strip that fails leaves the file as it was scanned.
  struct Patch {
    qint64 at;
    uint32_t value;
  };
  QList<Patch> patches;
  if (!file.seek(U32(header.constData() + 4))) return kStripNotLittleEndian;
  QByteArray countBytes = file.read(2);
  if (countBytes.size() < 2) return kStripNotLittleEndian;
  uint16_t count = U16(countBytes.constData());
  int64_t lineBytes = 0;
  int64_t imageLines = -1;
  qint64 offsetsEntry = -1;
  uint32_t dataOffset = 0;
  for (uint16_t i = 0; i < count; ++i) {
    qint64 at = file.pos();
    QByteArray entry = file.read(12);
    if (entry.size() < 12) return kStripNotLittleEndian;
    uint16_t tag = U16(entry.constData());
    uint32_t value = U32(entry.constData() + 8);
    switch (tag) {
      case kImageWidth: lineBytes = value / 8; break;
      case kImageLength:
        imageLines = value;
        [[fallthrough]];
      case kRowsPerStrip:
        patches << Patch{at + 8, value - static_cast<uint32_t>(Leading) - static_cast<uint32_t>(Trailing)};
        break;
      case kCompression:
        if (value != kPackBits) return kStripNotPackBits;
        break;
      case kStripOffsets:
        offsetsEntry = at;
        dataOffset = value;
        break;
      default: break;
    }
  }
  // Amounts that would leave no line are refused: the length would wrap around.
  if (imageLines >= 0 && int64_t(Leading) + int64_t(Trailing) >= imageLines) return kStripTooMany;
  // The leading lines are passed over by moving the data offset.
  if (Leading >= 1) {
    std::optional<qint64> walked = WalkLines(file, dataOffset, lineBytes, Leading);
    if (!walked || offsetsEntry < 0) return kStripBadData;
    patches << Patch{offsetsEntry + 8, static_cast<uint32_t>(dataOffset + *walked)};
  }
  for (const Patch& p : patches) {
    char bytes[4];
    qToLittleEndian<uint32_t>(p.value, bytes);
    if (!file.seek(p.at) || file.write(bytes, 4) != 4) return kStripBadData;
  }
  return kStripDone;
}

std::optional<ScanSize> ReadScanSize(const QString& FileName) {
  QFile file(HostPath(FileName));
  if (!FileExists(FileName) || !file.open(QIODevice::ReadOnly)) return std::nullopt;
  QByteArray header = file.read(8);
  if (header.size() < 8 || header.left(2) != "II" || !file.seek(U32(header.constData() + 4)))
    return std::nullopt;
  QByteArray countBytes = file.read(2);
  if (countBytes.size() < 2) return std::nullopt;
  ScanSize size;
  for (uint16_t i = 0, count = U16(countBytes.constData()); i < count; ++i) {
    QByteArray entry = file.read(12);
    if (entry.size() < 12) return std::nullopt;
    uint16_t tag = U16(entry.constData());
    if (tag == kImageWidth) size.width = U32(entry.constData() + 8);
    if (tag == kImageLength) size.lines = U32(entry.constData() + 8);
  }
  return size;
}

}  // namespace varnel
