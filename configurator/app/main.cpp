// Entry of the configurator: application log, crash report, main window.
#include <QApplication>

#include "app/app_log.h"
#include "app/mainwindow.h"
#include "common/log.h"
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
  // The model's own messages (loader, writer) join the application log.
  virk::SetLogFunction([](virk::LogLevel level, int, const std::string& text) {
    const QString message = QString::fromStdString(text);
    if (level >= virk::LogLevel::Warning)
      LogWarning(message);
    else if (level == virk::LogLevel::Info)
      LogInfo(message);
  });

  Q_INIT_RESOURCE(resources);
  QApplication app(argc, argv);
  MainWindow window;
  window.show();
  LogInfo("Приложение запущено");
  return app.exec();
}
