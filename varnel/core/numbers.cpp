#include "varnel/core/numbers.h"

#include <cmath>
#include <limits>

namespace varnel {

double Val(const QString& text) {
  QString s;
  for (QChar c : text)
    if (c != ' ' && c != '\t' && c != '\n') s += c;
  if (s.size() >= 2 && s[0] == '&') {
    int base = s[1].toUpper() == 'H' ? 16 : s[1].toUpper() == 'O' ? 8 : 0;
    if (base != 0) {
      qsizetype end = 2;
      while (end < s.size() && QString("0123456789ABCDEF").left(base).contains(s[end].toUpper()))
        ++end;
      bool ok = false;
      qlonglong v = s.mid(2, end - 2).toLongLong(&ok, base);
      return ok ? static_cast<double>(v) : 0.0;
    }
  }
  // Longest prefix of the form [sign] digits [. digits] [E|D [sign] digits].
  qsizetype i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  qsizetype digits = 0;
  while (i < s.size() && s[i].isDigit()) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i].isDigit()) ++i, ++digits;
  }
  if (digits == 0) return 0.0;
  qsizetype mantissaEnd = i;
  if (i < s.size() && (s[i].toUpper() == 'E' || s[i].toUpper() == 'D')) {
    qsizetype j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    qsizetype expDigits = 0;
    while (j < s.size() && s[j].isDigit()) ++j, ++expDigits;
    if (expDigits > 0) mantissaEnd = j;
  }
  QString number = s.left(mantissaEnd);
  number.replace('d', 'e').replace('D', 'e');
  return number.toDouble();
}

std::optional<int32_t> RoundToLong(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  double r = std::nearbyint(value);  // the default rounding mode: halves to even
  if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())
    return std::nullopt;
  return static_cast<int32_t>(r);
}

std::optional<float> ToSingle(const QString& text) {
  bool ok = false;
  float v = text.trimmed().toFloat(&ok);
  if (!ok || !std::isfinite(v)) return std::nullopt;
  return v;
}

}  // namespace varnel
