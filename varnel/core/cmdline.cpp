#include "varnel/core/cmdline.h"

namespace varnel {
namespace {
bool IsBlank(QChar c) { return c == ' ' || c == '\t'; }
}  // namespace

QStringList SplitCommandLine(const QString& commandLine) {
  QStringList args;
  QString current;
  bool inArg = false, quoted = false;
  for (QChar c : commandLine) {
    if (c == '"') {
      quoted = !quoted;
      inArg = true;
    } else if (IsBlank(c) && !quoted) {
      if (inArg) args << current;
      current.clear();
      inArg = false;
    } else {
      current += c;
      inArg = true;
    }
  }
  if (inArg) args << current;
  return args;
}

ShellCommand ParseShellCommand(const QString& commandLine,
                               const std::function<bool(const QString&)>& isFile) {
  QString line = commandLine;
  qsizetype start = 0;
  while (start < line.size() && IsBlank(line[start])) ++start;
  line = line.mid(start);
  if (!line.startsWith('"')) {
    qsizetype quote = line.indexOf('"');
    qsizetype limit = quote < 0 ? line.size() : quote;
    for (qsizetype i = 0; i < limit; ++i) {
      if (!IsBlank(line[i]) || i == 0) continue;
      QString candidate = line.left(i);
      if (!candidate.trimmed().isEmpty() && isFile(candidate))
        return {candidate, SplitCommandLine(line.mid(i))};
    }
    if (quote < 0 && isFile(line.trimmed())) return {line.trimmed(), {}};
  }
  QStringList words = SplitCommandLine(line);
  if (words.isEmpty()) return {};
  QString program = words.takeFirst();
  return {program, words};
}

}  // namespace varnel
