// The converters' option line and its "-@" response files. The first line of
// the input is the option line; the rest is the content of the response file
// "R" (in the harness's own folder), which the line or the file itself may name.
// No input may crash, hang or throw; what is parsed keeps to the known options.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "tools/converters/cmdline.h"

namespace {

const std::vector<conv::OptionSpec> kSpecs = {{'Q', true}, {'E', true}, {'o', true}, {'r', true},
                                              {'D', true}, {'I', false}, {'M', true}, {'P', true},
                                              {'#', false}, {'T', false}, {'B', false}};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Relative names resolve in the current folder: a folder of our own.
  std::string dir = (std::filesystem::temp_directory_path() /
                     ("options_fuzz_" + std::to_string(getpid())))
                        .string();
  std::filesystem::create_directories(dir);
  if (chdir(dir.c_str()) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t nl = input.find('\n');
  std::string line = input.substr(0, nl);
  std::string response = nl == std::string::npos ? std::string() : input.substr(nl + 1);
  if (std::FILE* f = std::fopen("R", "wb")) {
    std::fwrite(response.data(), 1, response.size(), f);
    std::fclose(f);
  }
  conv::ParsedOptions parsed = conv::ParseOptions(conv::SplitWords(line), kSpecs);
  std::set<char> known;
  for (const conv::OptionSpec& spec : kSpecs) known.insert(spec.letter);
  for (char letter : parsed.flags)
    if (!known.count(letter)) std::abort();
  for (const auto& [letter, values] : parsed.values)
    if (!known.count(letter) || values.empty()) std::abort();
  return 0;
}
