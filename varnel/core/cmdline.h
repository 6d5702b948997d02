// Command lines of child programs, split the Windows way.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace varnel {

// Blanks and tabs separate arguments; double quotes group (and are dropped);
// backslashes are ordinary characters. A pair of quotes alone gives an empty argument.
QStringList SplitCommandLine(const QString& commandLine);

struct ShellCommand {
  QString program;  // Windows-style name
  QStringList arguments;
};

// Splits a command line the way the shell starts it. A quoted program name is
// taken whole. An unquoted one may contain blanks: as on Windows, the text up
// to each blank in turn is tried as a program file (isFile), shortest first,
// and the first that exists is the program; otherwise the first word is.
ShellCommand ParseShellCommand(const QString& commandLine,
                               const std::function<bool(const QString&)>& isFile);

}  // namespace varnel
