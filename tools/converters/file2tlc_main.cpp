#include "tools/converters/file2tlc.h"

int main(int argc, char** argv) {
  return conv::RunConverter("file2tlc", conv::kFile2TlcUsage, argc, argv,
                            conv::kFile2TlcOptionSpecs,
                            [](const conv::ParsedOptions& parsed, conv::Messages& messages) {
                              conv::RunFile2Tlc(conv::File2TlcOptionsFrom(parsed), messages);
                            });
}
