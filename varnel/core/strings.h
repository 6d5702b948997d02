// The string table: every text the operator sees, by its number. Entries
// 201-207 belong to the splash window, 2000-2404 to the main window, the
// dialogs and the messages.
#pragma once

#include <QString>

namespace varnel {

// The text of entry id; empty for a number the table does not hold.
QString LoadResString(int id);

// Entries used by name in the code.
enum ResString : int {
  resPlatform = 201,
  resLoading = 204,
  resSplashTitle = 206,
  resVersion = 207,
  resFileNotFound = 2000,
  resNotCommunicating = 2001,
  resEdgeTop = 2010,  // 2010-2013 edge names, 2014-2017 the matching angles
  resAngle0 = 2014,
  resAppTitle = 2200,
  resReadingThreshold = 2240,
  resErrorCommunicating = 2241,
  resTerminating = 2242,
  resNotFound = 2281,
  resAutoScanMode = 2282,
  resAutoInsert = 2283,
  resAutoKeys = 2284,
  resInsertDocument = 2285,
  resPressStart = 2286,
  resReducingImage = 2287,
  resReducingTo = 2288,
  // The scan road (2100-2119).
  resRescan = 2100,
  resConvertingRaster = 2101,
  resPleaseWait = 2102,
  resConvertingView = 2103,
  resCheckingBlank = 2104,
  resBadImage = 2105,
  resBlankImage = 2106,
  resScanFileExists = 2107,
  resFolderNotCreated = 2108,
  resLineTooLong = 2109,
  resDatabaseNotWritten = 2110,
  resAlertTitle = 2400,
  resErrorTitle = 2401,
};

}  // namespace varnel
