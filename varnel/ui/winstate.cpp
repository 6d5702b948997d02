#include "varnel/ui/winstate.h"

#include "varnel/core/strings.h"

namespace varnel {

QSettings WindowSettings() {
  return QSettings(QSettings::UserScope, LoadResString(resAppTitle), LoadResString(resAppTitle));
}

WindowState ReadWindowState(QSettings& store) {
  WindowState s;
  store.beginGroup("Settings");
  s.SplitterLeft = store.value("SplitterLeft", s.SplitterLeft).toDouble();
  for (int i = 0; i < 3; ++i)
    s.ListViewHeaderWidth[i] =
        store.value(QString("ListViewHeaderWidth%1").arg(i + 1), s.ListViewHeaderWidth[i])
            .toDouble();
  s.MainWindowState = store.value("MainWindowState", s.MainWindowState).toInt();
  s.MainLeft = store.value("MainLeft", s.MainLeft).toDouble();
  s.MainTop = store.value("MainTop", s.MainTop).toDouble();
  s.MainWidth = store.value("MainWidth", s.MainWidth).toDouble();
  s.MainHeight = store.value("MainHeight", s.MainHeight).toDouble();
  store.endGroup();
  return s;
}

void WriteWindowState(QSettings& store, const WindowState& s, ShowState shown, int viewMode) {
  store.beginGroup("Settings");
  if (shown != ShowState::Minimised) store.setValue("MainWindowState", s.MainWindowState);
  if (shown == ShowState::Normal) {
    store.setValue("MainLeft", s.MainLeft);
    store.setValue("MainTop", s.MainTop);
    store.setValue("MainWidth", s.MainWidth);
    store.setValue("MainHeight", s.MainHeight);
    store.setValue("SplitterLeft", s.SplitterLeft);
    for (int i = 0; i < 3; ++i)
      store.setValue(QString("ListViewHeaderWidth%1").arg(i + 1), s.ListViewHeaderWidth[i]);
  }
  store.setValue("ViewMode", viewMode);
  store.endGroup();
  store.sync();
}

}  // namespace varnel
