#include "app/app_log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QTextStream>

#include "platform/platform.h"

Q_LOGGING_CATEGORY(lcInfo, "Info")
Q_LOGGING_CATEGORY(lcWarning, "Warning")

namespace {

QFile* g_logFile = nullptr;
QMutex g_logMutex;  // workers log too

void WriteLogLine(QtMsgType, const QMessageLogContext& context, const QString& message) {
  const QString time = QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss.zzz");
  const QByteArray line =
      FormatLogLine(time, context.category ? context.category : "default", message).toUtf8();
  QMutexLocker lock(&g_logMutex);
  g_logFile->write(line);
  g_logFile->flush();
}

}  // namespace

void LogInfo(const QString& message) { qCInfo(lcInfo).noquote() << message; }
void LogWarning(const QString& message) { qCWarning(lcWarning).noquote() << message; }

QString FormatLogLine(const QString& time, const char* category, const QString& message) {
  return time + " " + QString::fromUtf8(category) + ": " + message + "\n";
}

QString ProfileSubfolder(const QString& leaf) {
  const auto profile = virk::platform::ProfileFolder();
  if (!profile) return QString();
  return QString::fromStdString(*profile) + "/Documents/VIRK/OPC UA/" + leaf + "/";
}

bool InstallApplicationLog(const QString& folder) {
  if (folder.isEmpty() || !QDir().mkpath(folder)) return false;
  auto file = std::make_unique<QFile>(folder + "OPCUAserverGui.log");
  if (!file->open(QIODevice::Append | QIODevice::Text)) return false;
  g_logFile = file.release();  // lives as long as the process logs
  qInstallMessageHandler(WriteLogLine);
  return true;
}
