// Helpers for the workstation's list controls.
#pragma once

#include <QComboBox>
#include <QString>

namespace varnel {

// Selects the first entry that begins with the text (case-insensitive); the
// selection stays as it was when none does. A change raises the list's handler.
void SelectListItem(const QString& text, QComboBox* list);

}  // namespace varnel
