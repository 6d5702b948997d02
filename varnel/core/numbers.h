// Number conversions of configuration texts.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace varnel {

// The leading numeric part of a text, 0 when there is none. Blanks, tabs and
// line feeds anywhere in the text are skipped; "&H" and "&O" introduce hex and
// octal numbers; a decimal number may have a fraction and an exponent.
double Val(const QString& text);

// Rounds to the nearest integer, halves to the even one; nothing when the
// result does not fit into 32 bits.
std::optional<int32_t> RoundToLong(double value);

// The whole text (blanks around it allowed) as a number; nothing when it is not one.
std::optional<float> ToSingle(const QString& text);

}  // namespace varnel
