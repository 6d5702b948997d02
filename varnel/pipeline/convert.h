// Raster conversion through the configured converters: the scan TIFF to TLC
// (File2TlcExe) and TLC to another output format (ExportExe). Each gets its
// options in a one-line response file in the working folder.
#pragma once

#include <QString>
#include <cstdint>

#include "varnel/core/station.h"

namespace varnel {

// Rotation code of the TLC converter: the leading-edge index (0 with the
// Toyota variant), plus 4 when mirrored.
int16_t RotationCode(const Station& st, int16_t Rotate, bool Mirror);

// The TLC converter's option line (without CR LF).
QString File2TlcLine(const Station& st, const QString& ScanFile, const QString& TlcFile,
                     int16_t Dpi, int16_t Rotate, bool Invert, bool Mirror);
// The export converter's option line (without CR LF).
QString Tlc2RastLine(const Station& st, const QString& TlcFile, const QString& OutFile,
                     const QString& OutputType);

// Writes File2Tlc.Dat and runs File2TlcExe on it; success shows as TlcFile existing.
void File2Tlc(Station& st, const QString& ScanFile, const QString& TlcFile, int16_t Dpi,
              int16_t Rotate, bool Invert, bool Mirror, bool Mini);
// Writes Tlc2Rast.Dat and runs ExportExe on it (its result becomes LastResult);
// with the Toyota variant the written TIFF's orientation is patched.
void Tlc2Rast(Station& st, const QString& TlcFile, const QString& OutFile,
              const QString& OutputType, bool View);

// Turns the last entry of tag 284 in the first directory of a little-endian
// TIFF into an orientation entry (tag 274, SHORT, 1, value 8). False when the
// file is missing or has no such entry (the file is then unchanged).
bool PatchOrientation(const QString& OutFile);

}  // namespace varnel
