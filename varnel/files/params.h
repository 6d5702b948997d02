// The scan parameter controls: which changes mark the setting scheme as
// modified, type-ahead completion and the checks of typed widths and
// resolutions, the scanner speed list, the threshold box and slider and the
// threshold hand-over to the next scan.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

#include "varnel/core/station.h"
#include "varnel/files/form.h"

class QComboBox;

namespace varnel {

// Threshold limits of the slider and the text box.
inline constexpr int kMinThreshold = 30;
inline constexpr int kMaxThreshold = 115;

// ---- Plain logic ----

struct WidthLimits {
  double minimum;
  double maximum;
  QString unit;  // "mm" or the inch sign
};
WidthLimits GetWidthLimits(const QString& units, const QString& machineType);

// A typed value checked: the text the box gets and, when the value was out of
// range, the message (and its title) shown before it gets it.
struct CheckedValue {
  QString text;
  QString message;  // empty: within the limits
  QString title;
};
CheckedValue CheckWidth(const QString& text, const QString& units, const QString& machineType);
CheckedValue CheckResolution(const QString& text, const QString& machineType);

// The entries of cboScannerSpeed for a resolution text and the rated speed (mm/s).
QStringList ScannerSpeedTexts(const QString& resolutionText, int16_t scannerSpeed, bool metric,
                              const QString& fastLabel, const QString& normLabel);

// What a key typed into an editable width or resolution list does.
struct TypeAheadStep {
  enum Action { Pass, Discard, Tab, Complete } action = Pass;
  int index = -1;  // Complete: the entry taken
  int prefix = 0;  // Complete: the characters typed; the rest is selected
};
TypeAheadStep TypeAhead(const QString& text, int selStart, int selLength, int keyAscii,
                        const QStringList& entries);

bool ThresholdKeyAccepted(int keyAscii);
// The threshold box's text when it loses the focus: held within the limits.
QString ThresholdLostFocusText(const QString& text);

// ---- Procedures on the main window ----

// Rebuilds cboScannerSpeed for the current resolution and the rated speed.
void SetupScannerSpeeds(Station& st, Form& f);

void cboFormat_Click(Station& st, Form& f);
void cboLeadingEdge_Click(Station& st, Form& f);
void cboOriginalWidth_Change(Station& st, Form& f);
void cboResolution_Change(Station& st, Form& f);
void opt_Click(Station& st, Form& f);  // optLineArt, optPhoto1, optPhoto2
void chkViewFlag_Click(Station& st, Form& f);
void chkEditFlag_Click(Station& st, Form& f);
void chkMirrorFlag_Click(Station& st, Form& f);
void chkInvertFlag_Click(Station& st, Form& f);
// Type-ahead in cboOriginalWidth or cboResolution; keyAscii 0 afterwards: the key is discarded.
void Combo_KeyPress(QComboBox* combo, int& keyAscii);
// The width and resolution checks; false when the value was corrected with a
// message (the focus then goes back to the list).
bool cboOriginalWidth_LostFocus(Station& st, Form& f);
bool cboResolution_LostFocus(Station& st, Form& f);
void sldThreshold_Scroll(Form& f);
void sldThreshold_Change(Station& st, Form& f);
void txtThreshold_Change(Form& f);
void txtThreshold_KeyPress(int& keyAscii);
void txtThreshold_LostFocus(Form& f);

// True when the text of an editable list is one of its entries, as chosen from the list.
bool ComboEntrySelected(const QComboBox* combo);
// Sets the text of a list: the entry of that text is selected, any other text
// is typed into an editable list (no entry selected then).
void SetComboText(QComboBox* combo, const QString& text);

}  // namespace varnel
