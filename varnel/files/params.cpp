#include "varnel/files/params.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <cmath>

#include "varnel/core/numbers.h"
#include "varnel/files/naming.h"
#include "varnel/files/schemes.h"
#include "varnel/files/texts.h"

namespace varnel {
namespace {

// The inch sign (character code 34).
const QString kInch = QStringLiteral("\"");

// "###0.0": one decimal, halves rounded away from zero.
QString OneDecimal(double value) { return QString::number(std::round(value * 10) / 10, 'f', 1); }
// A limit in its shortest decimal form: 1, 36, 25.4, 1219.2.
QString Shortest(double value) { return QString::number(value); }

bool IsOneOf(const QString& value, std::initializer_list<const char*> list) {
  for (const char* item : list)
    if (value == QLatin1String(item)) return true;
  return false;
}

}  // namespace

WidthLimits GetWidthLimits(const QString& units, const QString& machineType) {
  bool wide = machineType == "6737";
  if (units == "METRIC") return {25.4, wide ? 1219.2 : 914.4, LoadResString(resMm)};
  return {1, wide ? 48.0 : 36.0, kInch};
}

CheckedValue CheckWidth(const QString& text, const QString& units, const QString& machineType) {
  // The leading number in single precision; the limits compare in it too.
  WidthLimits limits = GetWidthLimits(units, machineType);
  float value = static_cast<float>(Val(text));
  float minimum = static_cast<float>(limits.minimum), maximum = static_cast<float>(limits.maximum);
  // Within the limits: the value with one decimal and the unit.
  if (value >= minimum && value <= maximum) return {OneDecimal(value) + limits.unit, {}, {}};
  // Outside: the message, and the nearer limit for the field.
  CheckedValue checked;
  checked.title = LoadResString(resInvalidWidthTitle);
  checked.message = LoadResString(resWidthRange) + Shortest(limits.minimum) + " " + limits.unit +
                    LoadResString(resTo) + Shortest(limits.maximum) + " " + limits.unit;
  checked.text = OneDecimal(value < minimum ? limits.minimum : limits.maximum) + limits.unit;
  return checked;
}

CheckedValue CheckResolution(const QString& text, const QString& machineType) {
  // These machine types scan from 200 dpi, the others from 100.
  int minimum = IsOneOf(machineType, {"6782", "6737", "6765", "6769"}) ? 200 : 100;
  const int maximum = 400;
  double value = Val(text);
  // Outside the range: the message, and the nearer limit for the field.
  if (value > maximum || value < minimum) {
    CheckedValue checked;
    checked.title = LoadResString(resInvalidResolutionTitle);
    checked.message = LoadResString(resResolutionRange) + QString::number(minimum) +
                      LoadResString(resDpiTo) + QString::number(maximum) + LoadResString(resDpi);
    checked.text = QString::number(value < minimum ? minimum : maximum) + LoadResString(resDpi);
    return checked;
  }
  return {QString::number(RoundToLong(value).value_or(0)) + LoadResString(resDpi), {}, {}};
}

QStringList ScannerSpeedTexts(const QString& resolutionText, int16_t scannerSpeed, bool metric,
                              const QString& fastLabel, const QString& normLabel) {
  // The resolution, held within 100 to 400 dpi.
  int resolution = RoundToLong(Val(resolutionText.trimmed())).value_or(0);
  resolution = std::clamp(resolution, 100, 400);
  // The fast speed grows as the resolution drops; the normal speed is the scanner's own.
  float fast = 400.0f / static_cast<float>(resolution) * static_cast<float>(scannerSpeed);
  float norm = scannerSpeed;
  // Each entry in mm/s or in inches per second.
  auto entry = [&](const QString& label, float mmPerSecond) {
    if (metric) return label + " " + QString::number(mmPerSecond, 'g', 7) + LoadResString(resMmPerSec);
    return label + " " + OneDecimal(mmPerSecond / 25.4f) + kInch + LoadResString(resPerSec);
  };
  return {entry(fastLabel, fast), entry(normLabel, norm)};
}

TypeAheadStep TypeAhead(const QString& text, int selStart, int selLength, int keyAscii,
                        const QStringList& entries) {
  // Backspace and Tab as usual, Enter moves on, other control keys are dropped.
  if (keyAscii == 8 || keyAscii == 9) return {};
  if (keyAscii == 13) return {TypeAheadStep::Tab};
  if (keyAscii < 32 || keyAscii > 126) return {TypeAheadStep::Discard};
  // Completed only at the end of the text.
  if (selStart + selLength != text.size()) return {};
  // The first entry that begins with what is typed so far.
  QString prefix = (text.left(selStart) + QChar(keyAscii)).toUpper();
  for (int i = 0; i < entries.size(); ++i)
    if (entries[i].left(prefix.size()).toUpper() == prefix)
      return {TypeAheadStep::Complete, i, static_cast<int>(prefix.size())};
  // Typed over the selection as usual.
  return {};
}

bool ThresholdKeyAccepted(int keyAscii) {
  return (keyAscii >= '0' && keyAscii <= '9') || keyAscii == 8 || keyAscii == 3 || keyAscii == 22;
}

QString ThresholdLostFocusText(const QString& text) {
  double value = Val(text);
  if (value > kMaxThreshold) return QString::number(kMaxThreshold);
  if (value < kMinThreshold) return QString::number(kMinThreshold);
  return text;
}

bool ComboEntrySelected(const QComboBox* combo) {
  return combo && combo->currentIndex() >= 0 &&
         combo->itemText(combo->currentIndex()) == combo->currentText();
}

void SetComboText(QComboBox* combo, const QString& text) {
  if (!combo) return;
  int index = combo->findText(text, Qt::MatchFixedString);
  if (index >= 0) {
    combo->setCurrentIndex(index);
    if (combo->isEditable()) combo->setEditText(combo->itemText(index));
  } else if (combo->isEditable()) {
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
  }
}

// ---- Procedures ----

void SetupScannerSpeeds(Station& st, Form& f) {
  // The labels once, from the string table.
  if (f.FastLabel.isEmpty()) f.FastLabel = LoadResString(resFast);
  if (f.NormLabel.isEmpty()) f.NormLabel = LoadResString(resNorm);
  if (!f.cboScannerSpeed) return;
  // A slow scanner has one speed.
  if (st.ScannerSpeed <= 40) {
    if (f.cboScannerSpeed->count() == 1 && f.cboScannerSpeed->itemText(0) == f.FastLabel) return;
    f.cboScannerSpeed->clear();
    f.cboScannerSpeed->addItem(f.FastLabel);
    f.cboScannerSpeed->setCurrentIndex(0);
    return;
  }
  // The fast and normal speeds at the chosen resolution.
  QString resolution = f.cboResolution ? f.cboResolution->currentText() : QString();
  f.cboScannerSpeed->clear();
  f.cboScannerSpeed->addItems(
      ScannerSpeedTexts(resolution, st.ScannerSpeed, st.Units == "METRIC", f.FastLabel, f.NormLabel));
  f.cboScannerSpeed->setCurrentIndex(0);
}

void cboFormat_Click(Station& st, Form& f) {
  SettingsChanged(st, f);
  UpdateFileFields(st, f, kFieldsFormat, {}, {}, f.cboFormat->currentText().left(3), {});
}

void cboLeadingEdge_Click(Station& st, Form& f) { SettingsChanged(st, f); }
void cboOriginalWidth_Change(Station& st, Form& f) { SettingsChanged(st, f); }

void cboResolution_Change(Station& st, Form& f) {
  SettingsChanged(st, f);
  SetupScannerSpeeds(st, f);
}

void opt_Click(Station& st, Form& f) { SettingsChanged(st, f); }

void chkViewFlag_Click(Station& st, Form& f) {
  SettingsChanged(st, f);
  st.ViewFlag = f.chkViewFlag->checkState() == Qt::Checked;
}
void chkEditFlag_Click(Station& st, Form& f) {
  SettingsChanged(st, f);
  st.EditFlag = f.chkEditFlag->checkState() == Qt::Checked;
}
void chkMirrorFlag_Click(Station& st, Form& f) {
  SettingsChanged(st, f);
  st.MirrorFlag = f.chkMirrorFlag->checkState() == Qt::Checked;
}
void chkInvertFlag_Click(Station& st, Form& f) {
  SettingsChanged(st, f);
  st.InvertFlag = f.chkInvertFlag->checkState() == Qt::Checked;
}

void Combo_KeyPress(QComboBox* combo, int& keyAscii) {
  QLineEdit* edit = combo ? combo->lineEdit() : nullptr;
  if (!edit) return;
  int selStart = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
  int selLength = edit->hasSelectedText() ? static_cast<int>(edit->selectedText().size()) : 0;
  TypeAheadStep step = TypeAhead(edit->text(), selStart, selLength, keyAscii, ComboItems(combo));
  switch (step.action) {
    case TypeAheadStep::Pass:
      return;
    case TypeAheadStep::Tab:
      keyAscii = 9;
      return;
    case TypeAheadStep::Discard:
      keyAscii = 0;
      return;
    case TypeAheadStep::Complete: {
      // The entry shows with its untyped rest selected, so the next key overtypes it.
      combo->setCurrentIndex(step.index);
      QString entry = combo->itemText(step.index);
      combo->setEditText(entry);
      edit->setSelection(step.prefix, static_cast<int>(entry.size()) - step.prefix);
      keyAscii = 0;
      return;
    }
  }
}

namespace {

bool ApplyCheck(Station& st, QComboBox* combo, const CheckedValue& checked) {
  if (!checked.message.isEmpty())
    st.seams.prompts->MsgBox(checked.message, Prompts::Buttons::Ok, Prompts::Icon::None,
                             checked.title);
  SetComboText(combo, checked.text);
  if (checked.message.isEmpty()) return true;
  combo->setFocus();
  return false;
}

}  // namespace

bool cboOriginalWidth_LostFocus(Station& st, Form& f) {
  if (!f.cboOriginalWidth || ComboEntrySelected(f.cboOriginalWidth)) return true;
  return ApplyCheck(st, f.cboOriginalWidth,
                    CheckWidth(f.cboOriginalWidth->currentText(), st.Units, st.MachineType));
}

bool cboResolution_LostFocus(Station& st, Form& f) {
  if (!f.cboResolution || ComboEntrySelected(f.cboResolution)) return true;
  return ApplyCheck(st, f.cboResolution,
                    CheckResolution(f.cboResolution->currentText(), st.MachineType));
}

void sldThreshold_Scroll(Form& f) {
  if (!f.sldThreshold || !f.txtThreshold) return;
  if (Val(f.txtThreshold->text()) != f.sldThreshold->value())
    f.txtThreshold->setText(QString::number(f.sldThreshold->value()));
}

void sldThreshold_Change(Station& st, Form& f) {
  if (!f.txtThreshold) return;
  // Once changed, the threshold counts as changed for the rest of the run.
  if (Val(f.txtThreshold->text()) != st.ControllerThreshold) st.ThresholdChanged = true;
  // A changed threshold goes to the next scan's command line.
  if (st.HardwareConnect == "YES" && st.ThresholdChanged)
    st.PendingThresholdArg = "/T:" + f.txtThreshold->text() + " ";
}

void txtThreshold_Change(Form& f) {
  if (!f.txtThreshold || !f.sldThreshold) return;
  double value = Val(f.txtThreshold->text());
  if (value >= kMinThreshold && value <= kMaxThreshold)
    f.sldThreshold->setValue(RoundToLong(value).value_or(kMinThreshold));
}

void txtThreshold_KeyPress(int& keyAscii) {
  if (!ThresholdKeyAccepted(keyAscii)) keyAscii = 0;
}

void txtThreshold_LostFocus(Form& f) {
  if (!f.txtThreshold) return;
  QString text = ThresholdLostFocusText(f.txtThreshold->text());
  if (text != f.txtThreshold->text()) f.txtThreshold->setText(text);
}

}  // namespace varnel
