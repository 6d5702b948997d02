// Numbers of the string-table entries used by the file, list, scheme and
// parameter procedures (2100-2144) and the input dialog (2380-2383).
#pragma once

#include "varnel/core/strings.h"

namespace varnel {

enum FilesText : int {
  resScanListComplete = 2102,
  resInvalidDrive = 2103,
  resUsingCDrive = 2104,
  resInvalidFormat = 2105,
  resUsingTlcFormat = 2106,
  resFreeSpaceOnScanDrive = 2107,
  resMegFree = 2108,
  resKB = 2109,
  resLoadingScanList = 2110,
  resScaningImage = 2111,
  resOf = 2112,
  resNoSettingsFolder = 2113,
  resDriveErrorTitle = 2114,
  resPathErrorTitle = 2115,
  resUnexpectedDriveError = 2116,
  resSaveSettings = 2117,
  resSettingName = 2118,
  resNoDeleteDefault1 = 2119,
  resNoDeleteDefault2 = 2120,
  resNoDeleteDefault3 = 2121,
  resNoDeleteTitle = 2122,
  resConfirmDelete = 2123,
  resQuestionMark = 2124,
  resDeleteTitle = 2125,
  resInvalidWidthTitle = 2126,
  resWidthRange = 2127,
  resTo = 2128,
  resMm = 2129,
  resInvalidResolutionTitle = 2130,
  resResolutionRange = 2131,
  resDpiTo = 2132,
  resDpi = 2133,
  resFast = 2134,
  resNorm = 2135,
  resMmPerSec = 2136,
  resPerSec = 2137,
  resScanListTooLong = 2138,       // %1 file, %2 the first line left out
  resSchemeOpenFailed = 2139,      // %1 file, %2 reason
  resSchemeWriteFailed = 2140,
  resSchemeDeleteFailed = 2141,
  resAccessDenied = 2142,
  resFileNotFoundText = 2143,
  resPathFileAccessError = 2144,
  resScanListLongLines = 2153,     // %1 file, %2 the longest line kept, %3 the lines left out
  resScanListNotAFile = 2154,      // %1 file
  resInputName = 2381,
  resInputOk = 2382,
  resInputCancel = 2383,
};

}  // namespace varnel
