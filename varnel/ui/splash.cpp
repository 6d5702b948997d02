#include "varnel/ui/splash.h"

#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>

#include "varnel/core/strings.h"
#include "varnel/ui/twips.h"
#include "varnel/ui/frmabout.h"
#include "varnel/ui/frmmain.h"

namespace varnel {

frmSplash::frmSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName("frmSplash");
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_DeleteOnClose);
  auto* outer = new QGridLayout(this);
  outer->setContentsMargins(4, 4, 4, 4);
  fraMain = new QFrame;
  fraMain->setFrameShape(QFrame::Box);
  outer->addWidget(fraMain);
  picLogo = new QLabel;
  picLogo->setPixmap(StationPicture(96));
  pnlAppTitle = new QLabel;
  QFont title = pnlAppTitle->font();
  title.setPointSize(24);
  title.setBold(true);
  pnlAppTitle->setFont(title);
  lblPlatform = new QLabel;
  lblVersion = new QLabel;
  lblStatus = new QLabel;
  lblStatus->setObjectName("lblStatus");
  auto* grid = new QGridLayout(fraMain);
  grid->setContentsMargins(24, 24, 24, 16);
  grid->setHorizontalSpacing(24);
  grid->addWidget(picLogo, 0, 0, 3, 1);
  grid->addWidget(pnlAppTitle, 0, 1);
  grid->addWidget(lblPlatform, 1, 1, Qt::AlignRight);
  grid->addWidget(lblVersion, 2, 1, Qt::AlignRight);
  grid->addWidget(lblStatus, 3, 0, 1, 2);
  fraMain->installEventFilter(this);

  // Load: the texts, then the centre of the screen.
  pnlAppTitle->setText(LoadResString(resSplashTitle));
  lblPlatform->setText(LoadResString(resPlatform));
  lblVersion->setText(VersionText());
  lblStatus->setText(LoadResString(resLoading));
  adjustSize();
  if (QScreen* screen = this->screen()) {
    QRect area = screen->geometry();
    move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
  }
}

void frmSplash::keyPressEvent(QKeyEvent*) { close(); }
void frmSplash::mousePressEvent(QMouseEvent*) { close(); }

bool frmSplash::eventFilter(QObject* watched, QEvent* event) {
  if (watched == fraMain && event->type() == QEvent::MouseButtonPress) {
    close();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace varnel
