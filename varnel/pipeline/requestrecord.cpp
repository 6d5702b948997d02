#include "varnel/pipeline/requestrecord.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace printreq {

using T = FieldType;

namespace {

constexpr bool Covers() {
  std::size_t next = 0;
  for (const FieldSpec& f : kRequestFields) {
    if (f.offset != next) return false;
    // Numbers start on their natural boundary.
    if (f.type != T::Text && f.type != T::Fill && f.offset % f.size != 0) return false;
    next = f.offset + f.size * f.count;
  }
  return next == kRecordSize;
}

}  // namespace

const FieldSpec& Spec(Field field) {
  const FieldSpec& f = kRequestFields[static_cast<std::size_t>(field)];
  if (f.field != field) throw std::logic_error("request field table out of order");
  return f;
}

RequestRecord RequestRecord::Defaults() {
  static_assert(sizeof(float) == 4);
  RequestRecord r;
  for (const FieldSpec& f : kRequestFields) {
    if (f.type == T::Text) {
      r.SetText(f.field, f.defaultText);
    } else if (f.type != T::Fill) {
      for (std::size_t i = 0; i < f.count; ++i) r.SetNumber(f.field, f.defaultNumber, i);
    }
  }
  return r;
}

bool RequestRecord::FromBytes(std::span<const uint8_t> bytes, RequestRecord& record) {
  if (bytes.size() < kRecordSize) return false;
  std::copy_n(bytes.begin(), kRecordSize, record.bytes_.begin());
  return true;
}

void RequestRecord::SetText(Field field, std::string_view text) {
  const FieldSpec& f = Spec(field);
  std::size_t n = std::min(text.size(), f.size);
  std::memcpy(bytes_.data() + f.offset, text.data(), n);
  std::memset(bytes_.data() + f.offset + n, ' ', f.size - n);
}

std::string RequestRecord::Text(Field field) const {
  const FieldSpec& f = Spec(field);
  std::string text(reinterpret_cast<const char*>(bytes_.data() + f.offset), f.size);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

namespace {

void PutLE(uint8_t* at, uint32_t value, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLE(const uint8_t* at, std::size_t size) {
  uint32_t value = 0;
  for (std::size_t i = 0; i < size; ++i) value |= uint32_t(at[i]) << (8 * i);
  return value;
}

}  // namespace

void RequestRecord::SetNumber(Field field, double value, std::size_t element) {
  const FieldSpec& f = Spec(field);
  if (element >= f.count || f.type == T::Text || f.type == T::Fill)
    throw std::logic_error(std::string("not a number element: ") + f.name);
  uint8_t* at = bytes_.data() + f.offset + element * f.size;
  switch (f.type) {
    case T::Single: PutLE(at, std::bit_cast<uint32_t>(static_cast<float>(value)), 4); break;
    case T::Int32: PutLE(at, static_cast<uint32_t>(static_cast<int32_t>(value)), 4); break;
    case T::Int16: PutLE(at, static_cast<uint16_t>(static_cast<int16_t>(value)), 2); break;
    default: break;
  }
}

double RequestRecord::Number(Field field, std::size_t element) const {
  const FieldSpec& f = Spec(field);
  if (element >= f.count || f.type == T::Text || f.type == T::Fill)
    throw std::logic_error(std::string("not a number element: ") + f.name);
  const uint8_t* at = bytes_.data() + f.offset + element * f.size;
  switch (f.type) {
    case T::Single: return std::bit_cast<float>(GetLE(at, 4));
    case T::Int32: return static_cast<int32_t>(GetLE(at, 4));
    case T::Int16: return static_cast<int16_t>(GetLE(at, 2));
    default: return 0;
  }
}

static_assert(Covers(), "the request fields cover the record without gaps");

}  // namespace printreq
