// Entry of the configurator: application log, crash report, main window.
#include <QApplication>

#include "app_log.h"
#include "mainwindow.h"
#include "platform/platform.h"

int main(int argc, char* argv[]) {
  const QString dumpFolder = ProfileSubfolder("Dump");
  if (!dumpFolder.isEmpty()) {
    std::string error;
    if (virk::platform::MakeFolders(dumpFolder.toStdString(), error))
      virk::platform::InstallCrashHandler(dumpFolder.toStdString(),
                                          "MemoryServerGui %Y.%m.%d %H %M %S.dmp");
  }
  InstallApplicationLog(ProfileSubfolder("Log"));

  Q_INIT_RESOURCE(resources);
  QApplication app(argc, argv);
  MainWindow window;
  window.show();
  LogInfo("Приложение запущено");
  return app.exec();
}
