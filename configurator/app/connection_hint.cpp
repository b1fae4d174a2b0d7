#include "app/connection_hint.h"

#include <QAction>
#include <QMenu>
#include <QStringList>

namespace {

QString MenuPath(const QMenu& menu, const QAction& action) {
  return QString("меню «%1» → «%2»").arg(menu.title(), action.text());
}

}  // namespace

QString NoConnectionHint(const QMenu& menu, const QAction& runServer, const QAction& connect,
                         bool serverRunning) {
  QStringList ways;
  if (!serverRunning && runServer.isEnabled())
    ways << QString("запустите сервер (%1)").arg(MenuPath(menu, runServer));
  if (connect.isEnabled())
    ways << QString("подключитесь к %1 (%2)")
                .arg(serverRunning ? "нему" : "работающему серверу", MenuPath(menu, connect));
  const QString problem = serverRunning ? "Нет подключения к запущенному серверу" : "Нет подключенных серверов";
  return ways.isEmpty() ? problem : problem + ": " + ways.join(" или ");
}
