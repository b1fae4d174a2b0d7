#include "dialogs/security/keyforge_run.h"

#include <QProcess>

#include <utility>

namespace {

constexpr int kWaitMs = 30000;
const char kFailure[] = "При создании сертификатов произошла ошибка!";

}  // namespace

QStringList KeyforgeArguments(const QMap<QString, QString>& s) {
  // One argument per field, so values keep their spaces (an organisation
  // "Example Plant", an output folder under ".../OPC UA/"); line feeds stay
  // inside their argument too: keyforge splits the lists itself.
  static const std::pair<const char*, const char*> kFields[] = {
      {"-CN=", "common_name"},  {"-O=", "organization_name"}, {"-OU=", "organization_unit"},
      {"-ST=", "locality_name"}, {"-L=", "city_name"},        {"-C=", "country_name"},
      {"-DNS=", "domains"},     {"-IP=", "ip_adresses"},     {"-size=", "keySize"},
      {"-alg=", "algotirm"},    {"-val=", "validate"},       {"-der=", "outputCatalogCert"},
      {"-pem=", "outputCatalogKey"}, {"-URI=", "appURI"}};
  QStringList arguments;
  for (const auto& [option, key] : kFields) arguments << QString(option) + s.value(key);
  return arguments;
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
