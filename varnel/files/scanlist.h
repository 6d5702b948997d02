// The scan list: a text file named on the command line whose lines name the
// files of a batch of scans (field 1), four descriptive fields shown to the
// operator (2-5) and the entry's setting scheme (6), separated by commas.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "varnel/core/station.h"
#include "varnel/files/form.h"

namespace varnel {

// At most this many entries are loaded, each of at most so many bytes.
inline constexpr int kMaxScanListEntries = 1000;
inline constexpr int kMaxScanListLine = 1024;

struct ScanListText {
  QStringList entries;   // upper case, in file order; each holds a comma
  int firstLeftOut = 0;  // line of the first non-blank line beyond kMaxScanListEntries, or 0
  QList<int> longLines;  // lines longer than kMaxScanListLine, left out (the first few)
};
// The entries of a list file: blank lines skipped, lines upper-cased; a line
// without a comma is the file name alone (trimmed) and gets one appended. A
// byte-order mark in front is skipped. Reading stops at the first line beyond
// the last entry kept, so any input loads in bounded time and memory.
ScanListText ParseScanList(QIODevice& in);
ScanListText ParseScanList(const QByteArray& bytes);

// Loads the list named by the command line (no list when it is blank or names no file).
void LoadScanList(Station& st, const QString& fileName);

// Refills lstDisplayScanInfo for the current entry, then loads the entry's scheme.
void DisplayScanInfo(Station& st, Form& f);

// The comma tokenizer's state: the rest of the text being split, and its delimiter.
struct TokenState {
  QString remaining;
  QString delimiter;
};
// The next token of a text: with a delimiter a new text starts; without one the
// text of the state goes on (text is then ignored). An empty delimiter gives nothing.
QString GetToken(TokenState& state, const QString& text,
                 const std::optional<QString>& delimiter = std::nullopt);


}  // namespace varnel
