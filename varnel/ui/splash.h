// The splash window shown while the main window loads: title, platform,
// version and a status line, centred on the screen, on top and without the
// focus. Any key or a click on it removes it at once; start-up goes on.
#pragma once

#include <QFrame>

class QLabel;

namespace varnel {

class frmSplash : public QWidget {
  Q_OBJECT
 public:
  explicit frmSplash(QWidget* parent = nullptr);

  QFrame* fraMain;
  QLabel* picLogo;
  QLabel* pnlAppTitle;
  QLabel* lblPlatform;
  QLabel* lblVersion;
  QLabel* lblStatus;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace varnel
