#include "varnel/core/strings.h"

#include <algorithm>
#include <iterator>

namespace varnel {
namespace {

struct Entry {
  int id;
  const char* text;  // UTF-8
};

// Sorted by number. 2000-2199 hold texts that have no number of their own
// elsewhere; later additions take the next free numbers there.
constexpr Entry kTable[] = {
    {201, "Windows NT"},
    {204, "Loading Application..."},
    {206, "Tarvex 98"},
    {207, "Version"},
    {2000, "File Not Found!"},
    {2001, "Not Communicating with Scanner, Exiting"},
    {2010, "Top"},
    {2011, "Right"},
    {2012, "Bottom"},
    {2013, "Left"},
    {2014, "0°"},
    {2015, "90°"},
    {2016, "180°"},
    {2017, "270°"},
    {2050, "Rescan"},
    {2051, "Converting to Raster Format"},
    {2052, "Please Wait..."},
    {2053, "Converting to View Format"},
    {2054, "Checking for Blank File"},
    {2055, "Bad Scanned Image"},
    {2056, "Blank Image Scanned!"},
    {2057, "Scan File Exists, do you want to replace?"},
    {2058, "The folder %1 cannot be created; nothing was scanned."},
    {2059, "A scan line of %1 pixels is longer than the scanner takes (32767); choose a smaller width or resolution."},
    {2060, "The scan is filed, but it could not be added to the scan database %1."},
    {2061, "Auto Scan Complete: No more files to scan in list!"},
    {2200, "JUX Tarvex"},
    {2201, "JUX"},
    {2202, "Scanner"},
    {2203, "Create Folder"},
    {2204, "Remove Folder"},
    {2205, "All Folders"},
    {2206, "Contents of"},
    {2207, "Settings"},
    {2208, "Scheme:"},
    {2209, "Save As..."},
    {2210, "Delete"},
    {2211, "Original Width:"},
    {2212, "Resoultion, DPI:"},
    {2213, "Leading Edge:"},
    {2214, "Scanner Speed:"},
    {2215, "Image Options"},
    {2216, "View Image"},
    {2217, "Edit Image"},
    {2218, "Mirror Image"},
    {2219, "Invert Image"},
    {2220, "Auto Set Print"},
    {2221, "Original"},
    {2222, "Line Art"},
    {2223, "Photo 1"},
    {2224, "Photo 2"},
    {2225, "Threshold"},
    {2226, "Format:"},
    {2227, "File &Name:"},
    {2228, "Data Field:"},
    {2229, "Scan"},
    {2230, "&Scan Next"},
    {2231, "&Auto Mode"},
    {2232, "E&xit"},
    {2233, "&File"},
    {2234, "&Options..."},
    {2235, "&Close"},
    {2237, "Name"},
    {2238, "Size"},
    {2239, "Modified"},
    {2240, "Reading Threshold..."},
    {2241, "Error Communicating with Scanner."},
    {2242, "Terminating"},
    {2281, "Not Found!"},
    {2282, "Auto Scan Mode"},
    {2283, "Insert Document into the Scanner, Press Start"},
    {2284, "Press ESC to Exit, Ctrl-R to Rescan"},
    {2285, "Insert Document into the Scanner"},
    {2286, "and then press START"},
    {2287, "Reducing Image"},
    {2288, "to"},
    {2400, "Varnel Alert"},
    {2401, "Varnel Error"},
};

static_assert(std::is_sorted(std::begin(kTable), std::end(kTable),
                             [](const Entry& a, const Entry& b) { return a.id < b.id; }),
              "the string table is kept sorted by number");

}  // namespace

QString LoadResString(int id) {
  auto it = std::lower_bound(std::begin(kTable), std::end(kTable), id,
                             [](const Entry& e, int value) { return e.id < value; });
  if (it == std::end(kTable) || it->id != id) return {};
  return QString::fromUtf8(it->text);
}

}  // namespace varnel
