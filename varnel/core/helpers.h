// Profile, message and log helpers used by every part of the workstation.
// Files are named the Windows way; the helpers keep no state of their own and
// read IniFile, LogFile, DebugFlag and LogLevel from the station.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "varnel/core/station.h"

namespace varnel {

// Passed as the default of a raw read, it comes back only when the key is missing.
inline const QString MissingValue = QStringLiteral("(!!#%%#!!)");

// The value of the key (at most 254 characters), or the default when it is missing.
QString GetIniString(const QString& section, const QString& key, const QString& defaultValue,
                     const QString& file);
// Empty value: deletes the key; empty key: deletes the section; else writes key=value.
// Nonzero on success.
int16_t WriteIniString(const QString& section, const QString& key, const QString& value,
                       const QString& file);
// The value of the key; when it is missing, the default, which is also written
// into the configuration file (IniFile, whatever file was read).
QString ReadIniValue(const Station& st, const QString& section, const QString& key,
                     const QString& defaultValue, const QString& file);

// A moment as text in the system's general date format: short date, blank, long time.
QString GeneralDate(const QDateTime& when);
// The log line for a message at a moment: date and time in the system's
// general format, " - ", the message.
QString LogLine(const QDateTime& when, const QString& message);
// Appends one line to LogFile when the level rules allow (level 0 always, level 1
// while DebugFlag is on, never above LogLevel). The file is opened and closed per line.
void WriteLog(const Station& st, int16_t level, const QString& message);

// Yes/No question titled "Varnel Alert"; true for Yes.
bool AskYesNo(const Station& st, const QString& message);
// Logs the message at level 0, then shows it with the stop icon, titled "Varnel Error".
void ShowError(const Station& st, const QString& message);

// Index of the first entry that begins with the text (case-insensitive), -1 when none.
int FindListItem(const QString& text, const QStringList& entries);

// Creates every missing folder of the path ("C:\A\B\C\" creates C:\A, C:\A\B and
// C:\A\B\C as needed). False when a folder could not be created.
bool CheckDir(const QString& path);

// The short (8.3) form of an existing path, which holds no blank and which every
// program of the station resolves to the same file; empty when it does not exist.
QString GetShortPath(const QString& path);

// The larger of the two; the first when they are equal.
int16_t MaxInt(int16_t a, int16_t b);

}  // namespace varnel
