// Helpers of the console programs' tests (juxscan, juxstat).
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace console_test {

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The last line a program printed (a terminal's "\r\n" read as "\n").
inline std::string LastLine(const std::string& out) {
  std::string text = out;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  size_t nl = text.find_last_of('\n');
  std::string line = nl == std::string::npos ? text : text.substr(nl + 1);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// Test names from the `name` of a table's cases.
template <class Case>
std::string CaseName(const testing::TestParamInfo<Case>& info) {
  std::string name = info.param.name;
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
}

}  // namespace console_test
