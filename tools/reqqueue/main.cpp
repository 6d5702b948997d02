// The request-queue program started by Auto Set Print.
#include <QApplication>
#include <cstdio>

#include "tools/reqqueue/reqqueue.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  reqqueue::Options options;
  if (auto error = reqqueue::ParseOptions(QApplication::arguments().mid(1), options)) {
    std::fprintf(stderr,
                 "reqqueue: %s\nusage: reqqueue /S settingsfile [/C:copies] [/D:0|1] [/M:media] "
                 "[/T:title] [/N:comment] [/Q]\n",
                 error->toLocal8Bit().constData());
    return 2;
  }
  return reqqueue::RunRequestQueue(options);
}
