// Every text the viewer shows, in one place.
#pragma once

namespace viewer::texts {

inline constexpr char kAppTitle[] = "Drawing Viewer";
inline constexpr char kFileMenu[] = "&File";
inline constexpr char kOpen[] = "&Open...";
inline constexpr char kClose[] = "&Close";
inline constexpr char kExit[] = "E&xit";
inline constexpr char kViewMenu[] = "&View";
inline constexpr char kZoomIn[] = "Zoom &In";
inline constexpr char kZoomOut[] = "Zoom &Out";
inline constexpr char kFit[] = "&Fit to Window";
inline constexpr char kActualSize[] = "&Actual Size (1:1)";
inline constexpr char kOpenTitle[] = "Open Drawing";
inline constexpr char kOpenFilter[] =
    "Drawings (*.tlc *.TLC *.tif *.TIF *.tiff *.png *.PNG *.pdf *.PDF);;All files (*)";
inline constexpr char kNothingOpen[] = "No drawing open. Choose File > Open...";
inline constexpr char kLoading[] = "Loading %1 ...";
inline constexpr char kCannotShow[] = "Cannot show %1";
inline constexpr char kPixels[] = "%1 x %2 pixels";
inline constexpr char kDpi[] = "%1 dpi";
inline constexpr char kNoDpi[] = "resolution not given";
inline constexpr char kBlack[] = "black %1%";
inline constexpr char kZoom[] = "zoom %1%";
inline constexpr char kStillLoading[] = "loading";

}  // namespace viewer::texts
