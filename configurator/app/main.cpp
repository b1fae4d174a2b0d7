// Entry of the configurator: application log, crash report, main window.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

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
  // Qt's own dialogs and buttons speak the window's language ("Открыть",
  // "Отмена"), not English beside Russian texts.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(QLocale::Russian), "qtbase", "_",
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    app.installTranslator(&qtTexts);
  else
    LogWarning("Не найдены переводы Qt (qtbase_ru.qm): стандартные диалоги будут на английском");
  MainWindow window;
  window.show();
  LogInfo("Приложение запущено");
  return app.exec();
}
