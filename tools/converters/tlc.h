// TLC, the station's compressed bitonal raster file:
//
//   bytes 0-127  header text, fields separated by one blank, padded with
//                blanks, ended by CR LF:
//                  Virozoro Size W,H Density D Data N [View w,h,M]
//                W,H image size in pixels, D dots per inch, N bytes of image
//                data; View names an optional reduced view picture of w x h
//                pixels stored as M bytes of 8-bit grey PNG.
//   byte 128     the image, one CCITT Group 4 (T.6) stream, black = 1
//   128 + N      the view picture, when there is one
//
// The statistics step of the workstation reads only the signature, size and
// density, and compares the file length with the pixel count; the data
// length lets the converters tell a cut-short file from a whole one.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace conv {

inline constexpr size_t kTlcHeaderSize = 128;
// The longest side a TLC image may have.
inline constexpr uint32_t kMaxTlcSide = 1000000;
// ... and the most bytes its pixels may take in memory.
inline constexpr uint64_t kMaxTlcImageBytes = uint64_t{1} << 31;

struct TlcHeader {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t density = 0;
  uint64_t dataBytes = 0;
  uint32_t viewWidth = 0;
  uint32_t viewHeight = 0;
  uint64_t viewBytes = 0;
};

// A TLC file's parts, viewed in the file's bytes (valid while they are).
struct Tlc {
  TlcHeader header;
  std::span<const uint8_t> g4;
  std::span<const uint8_t> viewPng;  // empty when the file carries no view
};

// The 128 header bytes.
std::string FormatTlcHeader(const TlcHeader& header);
// Reads and checks a whole TLC file; a damaged or cut-short file is a
// ConvertError naming `shown`.
Tlc ParseTlc(std::span<const uint8_t> file, const std::string& shown);
// Header, image and view, ready to be written.
std::vector<uint8_t> BuildTlc(uint32_t width, uint32_t height, uint32_t density,
                              std::span<const uint8_t> g4, uint32_t viewWidth, uint32_t viewHeight,
                              std::span<const uint8_t> viewPng);

}  // namespace conv
