#include "varnel/ui/controls.h"

#include "varnel/core/helpers.h"

namespace varnel {

void SelectListItem(const QString& text, QComboBox* list) {
  QStringList entries;
  for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
  int index = FindListItem(text, entries);
  if (index >= 0) list->setCurrentIndex(index);
}

}  // namespace varnel
