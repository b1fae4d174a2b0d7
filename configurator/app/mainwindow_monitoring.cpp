// Monitoring: one subscription per group of the configuration on the
// connected server, the client loop, and the values of the shown group in
// the "Мониторинг" table, repainted every 100 ms.
#include <QAction>
#include <QDateTime>
#include <QItemSelectionModel>
#include <QTabWidget>

#include "app/app_log.h"
#include "app/connection_hint.h"
#include "app/mainwindow.h"
#include "model/item_info.h"
#include "opcua/opcua_wrapper.h"
#include "ui_mainwindow.h"
#include "views/monitored_value.h"
#include "views/tablemodelmonitoring.h"
#include "views/trendview.h"

using namespace virk;

namespace {

constexpr int kRefreshMs = 100;

// The tag names of every group of the configuration, in the model's order.
void CollectGroups(const CItem& item, QList<QStringList>& groups) {
  if (item.Kind() == kKindGroup) {
    QStringList tags;
    for (const auto& [name, tag] : item.Children()) tags << QString::fromStdString(tag->FullName());
    groups << tags;
    return;
  }
  for (const auto& [name, child] : item.Children()) CollectGroups(*child, groups);
}

int IntervalMs(const CItem& group) {
  const auto* settings = dynamic_cast<const CGroupInfo*>(&group);
  return settings ? MonitoringIntervalMs(settings->m_Data) : 0;
}

}  // namespace

void MainWindow::on_monitoring_action_triggered() {
  if (m_monitoring)
    EndMonitoring(true);
  else
    StartMonitoring();
}

void MainWindow::StartMonitoring() {
  if (!ConnectedThroughWrapper() || !m_wrapper->IsConnected()) {
    Warn(NoConnectionHint(*ui->menu_4, *ui->run_server_action, *ui->action, m_runner.IsRunning()), "Ошибка");
    return;
  }
  CItem* group = SelectedItem();
  if (!group || group->Kind() != kKindGroup) return;
  QList<QStringList> groups;
  CollectGroups(m_root, groups);
  const int interval = IntervalMs(*group);
  OPCUAWrapper::Subscriptions subscriptions;
  const int code = RunWithProgress([&] {
    emit signalSetLabelProgressBar("Выполняется создание подписки, пожалуйста, подождите...");
    if (m_wrapper->CreateSubscriptions(groups, interval, subscriptions) != OPCUAWrapper::kOk) {
      // What was made before the failure goes again: nothing is left behind on the server.
      m_wrapper->DeleteSubscriptions();
      emit signalCloseProgressBar(10);
      return;
    }
    m_wrapper->SetLoopRunFlag(true);
    m_wrapper->StartClientLoop();
    emit signalCloseProgressBar(0);
  });
  if (code != 0) return;
  m_trend->Clear();
  m_subscriptionRows.clear();
  for (auto it = subscriptions.cbegin(); it != subscriptions.cend(); ++it) {
    QHash<QString, int>& rows = m_subscriptionRows[it.key()];
    for (int row = 0; row < it.value().size(); ++row) rows.insert(it.value()[row], row);
  }
  SetMonitoringActive(true);
  m_monitoringTimer.start(kRefreshMs);
  ui->tabWidget->setCurrentIndex(2);
}

void MainWindow::EndMonitoring(bool deleteSubscriptions) {
  if (!m_monitoring) return;
  if (m_wrapper) {
    if (deleteSubscriptions && m_wrapper->IsConnected()) {
      RunWithProgress([this] {
        emit signalSetLabelProgressBar("Выполняется отключение подписки, пожалуйста, подождите...");
        m_wrapper->SetLoopRunFlag(false);
        emit signalCloseProgressBar(m_wrapper->DeleteSubscriptions() == OPCUAWrapper::kOk ? 0 : 8);
      });
    } else {
      m_wrapper->SetLoopRunFlag(false);  // the loop only; the server and its subscriptions are gone
    }
  }
  m_subscriptionRows.clear();
  m_monitoringTimer.stop();
  SetMonitoringActive(false);
}

void MainWindow::slotDataChange(QVariantList mess) {
  if (!ui->tabWidget->isTabEnabled(2) || mess.size() < 5) return;
  // Thousands arrive a second: values of groups never shown are dropped
  // before any other work, and a row is found by hash, not by search.
  const QString node = mess[3].toString();
  const QString groupPath = node.left(node.lastIndexOf('.'));
  if (!m_monitorModel->HoldsGroup(groupPath)) return;
  const auto subscription = m_subscriptionRows.constFind(mess[4].toUInt());
  if (subscription == m_subscriptionRows.cend()) return;
  const auto found = subscription->constFind(node);
  if (found == subscription->cend()) return;
  const int row = found.value();
  const QDateTime now = QDateTime::currentDateTime();
  m_trend->AddValue(node, mess[1], now);
  m_monitorModel->UpdateRow(row, MonitoredValueText(mess[1]), mess[2].toString(),
                            now.toString("yyyy-MM-dd hh:mm:ss.zzz"), groupPath);
}

void MainWindow::TrackSelectedTags() {
  QList<int> rows;
  for (const QModelIndex& index : ui->tableView_2->selectionModel()->selectedRows()) rows << index.row();
  m_trend->Track(m_monitorModel->TagNames(rows));
}
