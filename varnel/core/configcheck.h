// The start-up check of the configuration values the scan road depends on:
// a value that cannot be used is named with its key in one box at start-up
// (and replaced by its default where it has one), instead of failing later,
// scan after scan. Values that go into a command line are checked for their
// form here and again where the line is built.
#pragma once

#include <QString>
#include <QStringList>

#include "varnel/core/config.h"
#include "varnel/core/station.h"

namespace varnel {

// Two whole numbers joined by a comma ("1000,700"), nothing else.
bool IsSizePair(const QString& text);
// One path: not empty, no blank, quote or control character (it is written
// into option lines whose words are separated by blanks).
bool IsOnePath(const QString& text);
// An output type code as it goes onto the export converter's line: two
// printable characters, no blank or quote, and none of the line's own
// options (-E, -Q, -o, -@).
bool IsOutputTypeCode(const QString& code);

// Checks the values LoadIniFile has read into the station and the lists,
// puts the default in place of a bad value that has one, leaves bad list
// entries out, and returns one line per problem (empty when all is well).
QStringList CheckConfiguration(Station& st, IniLists& lists);

}  // namespace varnel
