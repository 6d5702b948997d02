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
  resDeviceUnavailable = 2100,  // 2100-2144: scan file naming, scan list, schemes, parameters
  resPathNotFound = 2101,
  resPrintingImage = 2170,  // 2170-2184: print requests
  resCantFindPrinterPath = 2172,
  resJobFolderExists = 2173,
  resFolderLabel = 2174,
  resWaitingForPrint = 2175,
  resFinishPrinting = 2176,
  resOneCopyRemaining = 2177,
  resThereAre = 2178,
  resCopiesRemaining = 2179,
  resSourceTitle = 2180,
  resPrintComment = 2181,
  resPrintMedia = 2182,
  resRequestNotWritten = 2183,
  resSettingsIncomplete = 2184,
  // Scan-list jobs: the journal and the report (2185-2197).
  resMenuListReport = 2185,
  resResumeList = 2186,
  resReportTitle = 2187,
  resReportSummary = 2188,
  resReportScanned = 2189,
  resReportMissing = 2190,
  resReportRescanned = 2191,
  resReportBlank = 2192,
  resReportBad = 2193,
  resReportNotInList = 2194,
  resReportColumns = 2195,
  resReportNotWritten = 2196,
  resReportNoList = 2197,
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
  // The scan road (2050-2099).
  resRescan = 2050,
  resConvertingRaster = 2051,
  resPleaseWait = 2052,
  resConvertingView = 2053,
  resCheckingBlank = 2054,
  resBadImage = 2055,
  resBlankImage = 2056,
  resScanFileExists = 2057,
  resFolderNotCreated = 2058,
  resLineTooLong = 2059,
  resDatabaseNotWritten = 2060,
  resListComplete = 2061,
  resNoScanFile = 2062,
  resZeroLengthScan = 2063,
  resScanHoldsNoImage = 2064,
  resNotFiled = 2065,        // "<cause> - the drawing was not filed."
  resScanNoDevice = 2066,    // 2066-2077: why juxscan did not finish a scan
  resScanBadArgument = 2067,
  resScanBusy = 2068,
  resScanNoAnswer = 2069,
  resScanNotFinished = 2070,
  resScanTooFast = 2071,
  resScanOverrun = 2072,
  resScanChannelReset = 2073,
  resScanEscape = 2074,
  resScanKilled = 2075,
  resScanOtherCode = 2076,
  resScanNotWaited = 2077,
  resConversionFailed = 2078,
  resConverterSilent = 2079,
  resStripTooMany = 2080,
  resFormatMismatch = 2081,
  resWrongFormatWritten = 2082,
  resWorkFileStuck = 2083,
  resCannotReplace = 2084,
  resBadResolution = 2085,
  resIniProblems = 2086,     // 2086-2096: the start-up check of Varnel.Ini
  resIniProblemLine = 2087,
  resIniNoProgram = 2088,
  resIniNotWhole = 2089,
  resIniNotPair = 2090,
  resIniNotOnePath = 2091,
  resIniNoTypeCode = 2092,
  resIniBadResolution = 2093,
  resNoFormat = 2094,
  resIniNoResolution = 2095,
  resIniNotSeconds = 2096,
  resInputBoxCaption = 2380,  // 2380-2383: the input dialog's defaults
  // Folder browser, main window menu, about dialog (2300-2322).
  resDriveNotReady = 2300,
  resDisplayDirError = 2302,
  resFolderName = 2303,
  resNewFolder = 2304,
  resFolderExists = 2305,
  resCannotCreateFolder = 2306,
  resAppFolderProtected = 2307,
  resCannotDeleteFolder = 2308,
  resConfirmRemoveFolder = 2309,
  resAndAllContents = 2310,
  resDeleteFolder = 2311,
  resDelTreeError = 2312,
  resAccessError = 2313,
  resNewFolderNotCreated = 2314,
  resMenuHelp = 2315,
  resMenuAbout = 2316,
  resAboutCaption = 2317,
  resSysInfo = 2319,
  resSysInfoUnavailable = 2320,
  resAboutDescription = 2321,
  resAboutDisclaimer = 2322,
  resCannotRemoveDriveRoot = 2150,
  resFolderHoldsAppFolder = 2151,
  resNameNotUsable = 2152,
  resTempDirNoDrive = 2155,  // %1 the working folder
  resAlertTitle = 2400,
  resErrorTitle = 2401,
};

}  // namespace varnel
