#include "dialogs/security/keyforge_run.h"

#include <QProcess>

namespace {

constexpr int kWaitMs = 30000;
const char kFailure[] = "При создании сертификатов произошла ошибка!";

}  // namespace

QStringList KeyforgeArguments(const QMap<QString, QString>& s) {
  const QString text =
      QString("-CN=%1 -O=%2 -OU=%3 -ST=%4 -L=%5 -C=%6 -DNS=%7 -IP=%8 -size=%9 -alg=%10 -val=%11 "
              "-der=%12 -pem=%13 -URI=%14")
          .arg(s["common_name"], s["organization_name"], s["organization_unit"],
               s["locality_name"], s["city_name"], s["country_name"], s["domains"],
               s["ip_adresses"], s["keySize"])
          .arg(s["algotirm"], s["validate"], s["outputCatalogCert"], s["outputCatalogKey"],
               s["appURI"]);
  // Line feeds stay inside their argument: keyforge splits the lists itself.
  return text.split(' ', Qt::SkipEmptyParts);
}

KeyforgeResult RunKeyforge(const QString& program, const QMap<QString, QString>& settings) {
  QProcess process;
  process.start(program, KeyforgeArguments(settings));
  if (!process.waitForStarted(kWaitMs))
    return {false, QString(kFailure) + " Процесс keyforge не запустился"};
  if (!process.waitForFinished(kWaitMs)) {
    process.kill();
    process.waitForFinished();
    return {false, QString(kFailure) + " Процесс keyforge не завершился"};
  }
  const QString errors = QString::fromUtf8(process.readAllStandardError());
  if (!errors.isEmpty()) return {false, QString(kFailure) + "\n" + errors};
  // A crash or a non-zero exit is a failure even when nothing was written.
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
    return {false, QString(kFailure) + "\n" +
                       QString("keyforge завершился с кодом %1").arg(process.exitCode())};
  return {true, "Сертификаты успешно созданы!"};
}
