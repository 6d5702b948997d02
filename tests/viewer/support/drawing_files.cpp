#include "tests/viewer/support/drawing_files.h"

#include <tiffio.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "tests/converters/testdata.h"
#include "tests/converters/tiffref.h"

namespace fs = std::filesystem;

namespace viewertest {
namespace {

DrawingFiles Make() {
  DrawingFiles f;
  f.dir = fs::temp_directory_path() / ("viewer-test-" + std::to_string(getpid()));
  fs::remove_all(f.dir);
  fs::create_directories(f.dir);
  f.source = convtest::Drawing(827, 1169, 7);
  const fs::path scan = f.dir / "SCAN.TIF";
  convtest::WriteBytes(scan.string(), convtest::ScanFileBytes(f.source));
  const std::string msgs = " -Q " + (f.dir / "q.txt").string() + " -E " + (f.dir / "e.txt").string();
  auto tlc = [&](const std::string& name, const std::string& options) {
    const fs::path out = f.dir / name;
    if (RunTool("file2tlc", msgs + " -D 100 " + options + " -o " + out.string() + " " +
                                scan.string()) != 0)
      throw std::runtime_error("file2tlc failed for " + name);
    return out;
  };
  f.files["TLC"] = tlc("VIEW.TLC", "-M 300,300");
  f.files["TLC without view"] = tlc("PLAIN.TLC", "");
  auto exported = [&](const std::string& name, const std::string& type) {
    const fs::path out = f.dir / name;
    if (RunTool("tlcexport", msgs + " " + type + " -o " + out.string() + " " +
                                 f.files["TLC"].string()) != 0)
      throw std::runtime_error("tlcexport failed for " + name);
    return out;
  };
  f.files["TIFF G4"] = exported("G4.TIF", "-T");
  f.files["TIFF PackBits"] = exported("PACKBITS.TIF", "-B");
  f.files["PNG"] = exported("DRAWING.PNG", "-N");
  f.files["PDF"] = exported("DRAWING.PDF", "-F");
  f.files["TIFF uncompressed"] = f.dir / "NONE.TIF";
  convtest::WriteLibtiffTiff(f.files["TIFF uncompressed"], f.source, COMPRESSION_NONE, PHOTOMETRIC_MINISWHITE,
                   16);
  f.files["TIFF G4 white 1"] = f.dir / "G4BLACK0.TIF";
  convtest::WriteLibtiffTiff(f.files["TIFF G4 white 1"], f.source, COMPRESSION_CCITTFAX4,
                   PHOTOMETRIC_MINISBLACK, f.source.height);
  f.files["TIFF G4 strips"] = f.dir / "G4STRIPS.TIF";
  convtest::WriteLibtiffTiff(f.files["TIFF G4 strips"], f.source, COMPRESSION_CCITTFAX4,
                   PHOTOMETRIC_MINISWHITE, 100);
  return f;
}

struct Cleanup {
  ~Cleanup() {
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
  }
  fs::path dir;
};

}  // namespace

const DrawingFiles& Files() {
  static const DrawingFiles files = Make();
  static Cleanup cleanup{files.dir};
  return files;
}

int RunTool(const std::string& program, const std::string& arguments) {
  const std::string command = std::string(JUX_BIN_DIR) + "/" + program + " " + arguments;
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Differences(const viewer::Drawing& drawing, const conv::BitImage& want) {
  if (drawing.levels.empty()) return "no image";
  QRect whole(0, 0, static_cast<int>(drawing.info.width), static_cast<int>(drawing.info.height));
  const QImage got = drawing.rows ? viewer::MonoPart(drawing, whole) : drawing.levels[0];
  if (got.width() != static_cast<int>(want.width) || got.height() != static_cast<int>(want.height))
    return "size " + std::to_string(got.width()) + " x " + std::to_string(got.height());
  if (got.format() != QImage::Format_Mono) return "not black and white";
  for (uint32_t y = 0; y < want.height; ++y) {
    const uchar* row = got.constScanLine(static_cast<int>(y));
    for (uint32_t x = 0; x < want.width; ++x) {
      const bool black = (row[x >> 3] >> (7 - (x & 7))) & 1;
      if (black != want.Pixel(x, y))
        return "pixel " + std::to_string(x) + "," + std::to_string(y) + " differs";
    }
  }
  return "";
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace viewertest
