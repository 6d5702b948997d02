// The Windows command-line splitter of the child-program runner. Any line
// splits without a crash; its arguments, each quoted and joined again, split
// into the same arguments; the shell form takes any line.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <cstdlib>

#include "varnel/core/cmdline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString line =
      QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const QStringList args = varnel::SplitCommandLine(line);
  QStringList quoted;
  for (const QString& arg : args) {
    if (arg.contains('"')) std::abort();  // quotes group, they never stay
    quoted << '"' + arg + '"';
  }
  if (varnel::SplitCommandLine(quoted.join(' ')) != args) std::abort();

  // Every other word tried is a program file.
  int calls = 0;
  varnel::ParseShellCommand(line, [&](const QString&) { return ++calls % 2 == 0; });
  return 0;
}
