// The workstation configuration file Varnel.Ini, read once at start-up.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "varnel/core/station.h"

namespace varnel {

// Entries of the main window's lists as the configuration gives them.
struct IniLists {
  QStringList widths;        // cboOriginalWidth
  QStringList leadingEdges;  // cboLeadingEdge, indexes 0-3: Top, Right, Bottom, Left
  struct Format {
    QString text;  // display text
    int itemData;  // N of its key "TypeN"; OutputTypeCodes[N] is its code
  };
  QList<Format> formats;     // cboFormat
  QStringList resolutions;   // cboResolution, those of at least MinScanDpi
  bool dataFieldVisible = false;
};

// The strip keys of [PROGRAMS], in file order, and where each value is held.
struct StripKey {
  const char* key;
  int32_t Station::*value;
};
inline constexpr StripKey kStripKeys[] = {
    {"StripLeading100DPI", &Station::StripLeading100DPI},
    {"StripTrailing100DPI", &Station::StripTrailing100DPI},
    {"StripLeading200DPI", &Station::StripLeading200DPI},
    {"StripTrailing200DPI", &Station::StripTrailing200DPI},
    {"StripLeading300DPI", &Station::StripLeading300DPI},
    {"StripTrailing300DPI", &Station::StripTrailing300DPI},
    {"StripLeading400DPI", &Station::StripLeading400DPI},
    {"StripTrailing400DPI", &Station::StripTrailing400DPI},
};

// Width of a text in the font of the leading-edge list (any unit).
using TextWidth = std::function<double(const QString&)>;

// Names the program folder's files, reads every key in order (writing the
// defaults of missing keys back), resets the log, creates the print and working
// folders and builds the list entries. programFolder is the Windows-style name of
// the program's folder. False when Varnel.Ini is missing: the message has been
// shown and the program must end at once.
bool LoadIniFile(Station& st, const QString& programFolder, const TextWidth& measure,
                 IniLists& lists);

// The leading-edge entries: edge name, blanks, angle, the angles lined up in the
// given font (at least 3 blanks).
QStringList BuildLeadingEdgeList(const TextWidth& measure);

// The scanner model as the rest of the workstation knows it.
QString NormaliseMachineType(const QString& configured);

// Default paths of the two companion print programs.
inline const QString DefaultRequestExe = QStringLiteral("C:\\Dudozev1\\ReqQueue.exe");
inline const QString DefaultUnattendExe = QStringLiteral("C:\\Dudozev1\\Unattend.exe");

}  // namespace varnel
