// The scan database: one line per scan in the scan folder's Database.Asc and
// in the program folder's Database.All.
#pragma once

#include <QString>

#include "varnel/core/station.h"

namespace varnel {

// The record line: the data text and the file, each in double quotes, joined by ", ".
QString DatabaseLine(const QString& DataText, const QString& FileName);

// Appends one line (CR LF ended) to a database file, created if missing.
// False when it could not be written whole.
bool AppendDatabaseLine(const QString& path, const QString& line);

// Appends the record of FileName with DataText to both files (nothing for an
// empty or all-blank DataText). ScanFolderPath is the folder being scanned
// into, whose Database.Asc gets the line. A file that cannot be appended to
// is named in an error box; the scan stays filed.
void Add2Database(Station& st, const QString& DataText, const QString& FileName,
                  const QString& ScanFolderPath);

}  // namespace varnel
