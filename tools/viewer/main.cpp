// tlcview: the station's drawing viewer, the program ViewExe names.
//   tlcview [FILE]
#include <QApplication>

#include "tools/viewer/viewerwindow.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  viewer::ViewerWindow window;
  // Without its socket the viewer still works by hand; the workstation then
  // starts a new one for each drawing.
  window.ListenForTasks();
  window.show();
  const QString name = viewer::FileNamedOnCommandLine(QApplication::arguments().mid(1));
  if (!name.isEmpty()) window.OpenFile(name);
  return app.exec();
}
