// The print monitor; with /S the station's unattended-print program.
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

#include "juxutil/hostpath.h"
#include "tools/printmon/printmon.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  bool unattended = false, once = false;
  QString ini = QCoreApplication::applicationDirPath() + "/PrintMon.Ini";
  const QStringList args = QCoreApplication::arguments().mid(1);
  for (const QString& arg : args) {
    if (arg.compare("/S", Qt::CaseInsensitive) == 0) {
      unattended = true;
    } else if (arg == "/1") {
      once = true;
    } else if (arg.startsWith("/I:", Qt::CaseInsensitive)) {
      ini = QString::fromStdString(hostpath::ToHost(arg.mid(3).toStdString()));
    } else {
      std::fprintf(stderr, "printmon: unknown option %s\nusage: printmon [/S] [/1] [/I:inifile]\n",
                   arg.toLocal8Bit().constData());
      return 2;
    }
  }
  // Without a desktop the unattended program's window is the process itself;
  // its title is what the workstation looks for.
  if (unattended) QCoreApplication::setApplicationName(printmon::kTitle);
  printmon::Config config = printmon::LoadConfig(ini, QCoreApplication::applicationDirPath());
  printmon::Log(config, QString("%1 started: %2%3")
                            .arg(unattended ? printmon::kTitle : QString("printmon"),
                                 QFileInfo::exists(ini) ? ini : ini + " (missing: defaults)",
                                 config.printer.isEmpty() ? ", PDF pages into " + config.outputDir
                                                          : ", printer " + config.printer));
  return printmon::Run(config, once);
}
