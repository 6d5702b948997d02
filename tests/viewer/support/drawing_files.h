// One drawing written the ways the station writes it, in a temporary folder:
// the scan file, file2tlc's TLC (with and without view picture) and
// tlcexport's TIFF Group 4, TIFF PackBits, PNG and PDF, plus an
// uncompressed TIFF and two Group 4 ones (1 bits white; strips of 100 rows)
// written by libtiff. Made once per test program.
#pragma once

#include <QString>
#include <filesystem>
#include <map>
#include <string>

#include "tools/converters/bitimage.h"
#include "tools/viewer/drawing.h"

namespace viewertest {

struct DrawingFiles {
  std::filesystem::path dir;
  conv::BitImage source;  // as scanned and as every file holds it
  std::map<std::string, std::filesystem::path> files;  // by name: "TLC", "TIFF G4", ...
  const std::filesystem::path& operator[](const std::string& name) const { return files.at(name); }
};

// The files of a drawing of about an A4 sheet at 100 dpi (odd width, so that
// rows end inside a byte).
const DrawingFiles& Files();

// Runs a program of the build folder; its exit code.
int RunTool(const std::string& program, const std::string& arguments);

// Where level 0 of a loaded drawing differs from the image, "" when nowhere.
std::string Differences(const viewer::Drawing& drawing, const conv::BitImage& want);

// Writes bytes to a file.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace viewertest
