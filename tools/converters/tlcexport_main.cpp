#include "tools/converters/tlcexport.h"

int main(int argc, char** argv) {
  return conv::RunConverter("tlcexport", conv::kTlcExportUsage, argc, argv,
                            conv::kTlcExportOptionSpecs,
                            [](const conv::ParsedOptions& parsed, conv::Messages& messages) {
                              conv::RunTlcExport(conv::TlcExportOptionsFrom(parsed), messages);
                            });
}
