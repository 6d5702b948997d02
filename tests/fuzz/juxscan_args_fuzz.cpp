// juxscan's command line. The input is the arguments, one per line. Any
// arguments parse without a crash, and the scan file named is the text after
// an "/O:" as written.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "juxscan/scanparms.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> words{"juxscan"};
  std::string input(reinterpret_cast<const char*>(data), size);
  for (size_t start = 0; start <= input.size();) {
    size_t nl = input.find('\n', start);
    if (nl == std::string::npos) nl = input.size();
    // A program's arguments end at their first NUL, as argv hands them over.
    std::string word = input.substr(start, nl - start);
    words.push_back(word.substr(0, word.find('\0')));
    start = nl + 1;
  }
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  argv.push_back(nullptr);
  juxscan::ScanParms parms = juxscan::GetScanParms(static_cast<int>(words.size()), argv.data());
  if (parms.fileName) {
    bool named = false;
    for (const std::string& w : words)
      named = named || ((w.rfind("/O:", 0) == 0 || w.rfind("/o:", 0) == 0) &&
                        w.substr(3) == *parms.fileName);
    if (!named) std::abort();
  }
  return 0;
}
