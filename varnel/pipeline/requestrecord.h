// The print request record: 330 bytes per image, little-endian, the layout the
// print monitor reads. One table, kRequestFields, describes every field; the
// workstation writes through it, the print monitor and the request-queue
// program read and write through it, and the tests check the bytes against it.
// Standard library only, so the tools can use it too.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace printreq {

constexpr std::size_t kRecordSize = 330;

enum class FieldType { Text, Single, Int32, Int16, Fill };

enum class Field {
  JobName,
  PtrName,
  ImagePath,
  SourceTitle,
  SourceText,
  Media,
  Comment,
  RequestKind,
  Fill245,
  Value248,
  Values252,
  Value280,
  FileCount,
  Copies,
  SetFlag,
  Value288,
  Fill290,
  Value292,
  Value296,
  Fill298,
  Values300,
  Values320,
};

struct FieldSpec {
  Field field;
  const char* name;
  std::size_t offset;
  std::size_t size;   // bytes of one element
  std::size_t count;  // elements (numbers that come as a row)
  FieldType type;
  const char* defaultText;  // Text: the text padded with blanks; "" otherwise
  double defaultNumber;     // numbers: the value of every element
};

// In offset order; the fields cover the 330 bytes without gaps.
// The texts' defaults are those of a request made while Auto Set Print is off;
// the source title and the comment are the workstation's resource texts.
inline constexpr std::array<FieldSpec, 22> kRequestFields = {{
    {Field::JobName, "JobName", 0, 8, 1, FieldType::Text, "", 0},
    {Field::PtrName, "PtrName", 8, 12, 1, FieldType::Text, "", 0},
    {Field::ImagePath, "ImagePath", 20, 128, 1, FieldType::Text, "", 0},
    {Field::SourceTitle, "SourceTitle", 148, 30, 1, FieldType::Text, "JUX TARVEX", 0},
    {Field::SourceText, "SourceText", 178, 30, 1, FieldType::Text, "", 0},
    {Field::Media, "Media", 208, 6, 1, FieldType::Text, "Bond", 0},
    {Field::Comment, "Comment", 214, 30, 1, FieldType::Text, "Printed From Scanner", 0},
    {Field::RequestKind, "RequestKind", 244, 1, 1, FieldType::Text, "R", 0},
    {Field::Fill245, "Fill245", 245, 3, 1, FieldType::Fill, "", 0},
    {Field::Value248, "Value248", 248, 4, 1, FieldType::Single, "", 100.0},
    {Field::Values252, "Values252", 252, 4, 7, FieldType::Int32, "", 0},
    {Field::Value280, "Value280", 280, 2, 1, FieldType::Int16, "", 0},
    {Field::FileCount, "FileCount", 282, 2, 1, FieldType::Int16, "", 0},
    {Field::Copies, "Copies", 284, 2, 1, FieldType::Int16, "", 0},
    {Field::SetFlag, "SetFlag", 286, 2, 1, FieldType::Int16, "", 1},
    {Field::Value288, "Value288", 288, 2, 1, FieldType::Int16, "", 100},
    {Field::Fill290, "Fill290", 290, 2, 1, FieldType::Fill, "", 0},
    {Field::Value292, "Value292", 292, 4, 1, FieldType::Single, "", 0.5},
    {Field::Value296, "Value296", 296, 2, 1, FieldType::Int16, "", 0},
    {Field::Fill298, "Fill298", 298, 2, 1, FieldType::Fill, "", 0},
    {Field::Values300, "Values300", 300, 4, 5, FieldType::Int32, "", 0},
    {Field::Values320, "Values320", 320, 2, 5, FieldType::Int16, "", 0},
}};
const FieldSpec& Spec(Field field);

// The request kind of every record the workstation writes.
inline constexpr std::string_view kRequestKind = "R";

// One record. Fields the workstation gives no meaning travel through unchanged.
class RequestRecord {
 public:
  RequestRecord() { bytes_.fill(0); }
  // The defaults of the table: texts padded with blanks, numbers as listed,
  // fill bytes zero.
  static RequestRecord Defaults();
  // The first kRecordSize bytes; false when there are fewer.
  static bool FromBytes(std::span<const uint8_t> bytes, RequestRecord& record);

  // Text fields: single-byte characters, cut to the field and padded with blanks.
  void SetText(Field field, std::string_view text);
  // The text as stored, trailing blanks (and NULs) removed.
  std::string Text(Field field) const;

  // 16-bit, 32-bit and single fields; element of a row.
  void SetNumber(Field field, double value, std::size_t element = 0);
  double Number(Field field, std::size_t element = 0) const;

  const std::array<uint8_t, kRecordSize>& Bytes() const { return bytes_; }

 private:
  std::array<uint8_t, kRecordSize> bytes_;
};

}  // namespace printreq
