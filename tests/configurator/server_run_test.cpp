// The window runs the server program of the same build through its own run
// dialog: it starts it, connects to it automatically, keeps it on a "Нет"
// to a restart, stops it in order, and tells when it ends by itself.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <chrono>
#include <filesystem>
#include <string>

#include "app/mainwindow.h"
#include "fake_prompts.h"
#include "loopback_listener.h"
#include "temp_folder.h"
#include "test_config.h"
#include "ui_mainwindow.h"
#include "views/tablemodelmonitoring.h"
#include "views/trendview.h"

namespace {

namespace st = virk::server::test;
namespace fs = std::filesystem;

std::string FileText(const fs::path& path) {
  QFile file(QString::fromStdString(path.string()));
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

class ServerRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    virk::GeneratorOptions records;  // a constant, a random number and a sine, polled every 100 ms
    records.tags = 3;
    records.groupPeriodMs = 100;
    ASSERT_TRUE(st::WriteTestConfig(config, virk::StartOptions(), {}, error, {}, records)) << error;
    prompts.fileName = QString::fromStdString(config);
    window.Form()->open_action->trigger();
    ASSERT_EQ(window.Root().Children().size(), 1u);
    window.Runner().SetProgram(VIRK_SERVER_PROGRAM);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", QString::fromStdString(home.Path()));
    window.Runner().SetEnvironment(environment);
  }

  // "Запустить сервер OPC UA" with the run dialog's port (and configuration) set.
  void Run(const QString& configPath = {}, int saves = 0) {
    OnNextDialog([this, configPath, saves](QDialog* dialog) {
      dialog->findChild<QSpinBox*>("portBox")->setValue(port);
      for (int i = 0; i < saves; ++i) dialog->findChild<QPushButton*>("pushButton_save")->click();
      dialog->findChild<QComboBox*>("logLevelBox")->setCurrentIndex(4);  // info: the stop's line is logged
      if (!configPath.isEmpty()) dialog->findChild<QLineEdit*>("cfgPathEdit")->setText(configPath);
      return true;
    });
    window.Form()->run_server_action->trigger();
  }

  st::TempFolder home;
  const fs::path config = home / "gateway.cfg";
  const uint16_t port = virk::test::ClosedLoopbackPort();
  FakePrompts prompts;
  MainWindow window;
};

TEST_F(ServerRunTest, StartsConnectsKeepsItOnNoAndStopsItInOrder) {
  Run({}, 2);
  ASSERT_TRUE(window.Runner().IsRunning()) << prompts.messages.join('\n').toStdString();
  // "Сохранить" twice, then the start: the program and exactly seven arguments.
  const std::string cmdline = FileText("/proc/" + std::to_string(window.Runner().ProcessId()) + "/cmdline");
  EXPECT_EQ(std::count(cmdline.begin(), cmdline.end(), '\0'), 8) << cmdline;
  EXPECT_EQ(window.StatusText(), QString(" Подключены к серверу (opc.tcp://127.0.0.1:%1). Сервер запущен").arg(port))
      << prompts.messages.join('\n').toStdString();
  EXPECT_TRUE(window.Runner().Output().contains("LOG level")) << window.Runner().Output().toStdString();
  EXPECT_FALSE(window.Runner().Output().contains(QChar(0x1b))) << "no terminal colours in the output window";

  // Monitoring of an emulated group: its values arrive, change and are cut to six decimals.
  virk::CItem* group = window.Root().FindChild(std::string("Channel_0"))->FindChild(std::string("Device_0"))
                           ->FindChild(std::string("Group_0"));
  window.Select(group);
  window.Form()->monitoring_action->trigger();
  ASSERT_TRUE(window.IsMonitoring()) << prompts.messages.join('\n').toStdString();
  EXPECT_EQ(window.Form()->tabWidget->currentIndex(), 2);
  TableModelMonitoring* table = window.MonitorModel();
  const auto cell = [table](int column) { return table->index(1, column).data().toString(); };
  QStringList values;
  for (int i = 0; i < 100 && values.size() < 2; ++i) {
    QTest::qWait(50);
    if (!cell(1).isEmpty() && cell(1) != "0" && (values.isEmpty() || values.last() != cell(1))) values << cell(1);
  }
  ASSERT_EQ(values.size(), 2) << "two different live values of " << cell(0).toStdString();
  EXPECT_EQ(cell(2), "Good");
  EXPECT_LE(values[1].section('.', 1).size(), 6) << values[1].toStdString();
  // The trend follows the selected rows: the random number and the sine.
  QTableView* rows = window.Form()->tableView_2;
  rows->selectionModel()->select(rows->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  rows->selectionModel()->select(rows->model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  TrendView* trend = window.Trend();
  for (int i = 0; i < 100 && (trend->SeriesCount() < 2 || trend->SeriesPoints(0).size() < 3); ++i) QTest::qWait(50);
  ASSERT_EQ(trend->SeriesCount(), 2);
  EXPECT_GE(trend->SeriesPoints(0).size(), 3) << "points keep arriving for a selected tag";
  EXPECT_EQ(trend->Buffer().Tracked(), (QStringList{"Channel_0.Device_0.Group_0.Tag_1", "Channel_0.Device_0.Group_0.Tag_2"}));
  window.Form()->monitoring_action->trigger();
  EXPECT_FALSE(window.IsMonitoring());

  const qint64 pid = window.Runner().ProcessId();
  prompts.answer = QMessageBox::No;
  window.Form()->run_server_action->trigger();
  EXPECT_TRUE(prompts.questions.contains("Сервер уже запущен, перезапустить с новыми настройками?"));
  EXPECT_EQ(window.Runner().ProcessId(), pid) << "the running server stays untouched";
  EXPECT_TRUE(window.Runner().IsRunning());

  window.Form()->stop_server_action->trigger();
  EXPECT_FALSE(window.Runner().IsRunning());
  EXPECT_EQ(window.Runner().ExitCode(), 0);
  EXPECT_EQ(prompts.messages.last(), "Успешно: Сервер успешно остановлен!");
  EXPECT_EQ(window.StatusText(), " Сервер не запущен");
  EXPECT_NE(FileText(home / "Documents/VIRK/OPC UA/Log/OPCUAserver.log").find("received ctrl-c"), std::string::npos)
      << "the server ran its orderly stop";
  window.Form()->stop_server_action->trigger();
  EXPECT_EQ(prompts.messages.last(), "Внимание: Сервер уже остановлен");
}

TEST_F(ServerRunTest, ExitWhileTheServerRunsAsksOnceAndStopsItInOrder) {
  Run();
  ASSERT_TRUE(window.Runner().IsRunning());
  window.Form()->close_action->trigger();
  EXPECT_EQ(prompts.questions, QStringList{"Сервер запущен, хотите остановить сервер и выйти?"});
  EXPECT_FALSE(window.Runner().IsRunning());
  EXPECT_EQ(window.Runner().ExitCode(), 0) << "stopped in order, not killed";
}

// A server that dies while it is monitored: monitoring ends (the client loop
// joined, the icon back to off) and the window says what happened.
TEST_F(ServerRunTest, AServerKilledDuringMonitoringEndsMonitoringCleanly) {
  Run();
  ASSERT_TRUE(window.Runner().IsRunning());
  window.Select(window.Root().FindChild(std::string("Channel_0"))->FindChild(std::string("Device_0"))
                    ->FindChild(std::string("Group_0")));
  window.Form()->monitoring_action->trigger();
  ASSERT_TRUE(window.IsMonitoring());
  ASSERT_EQ(::kill(pid_t(window.Runner().ProcessId()), SIGKILL), 0);
  for (int i = 0; i < 200 && (window.IsMonitoring() || window.Runner().IsRunning()); ++i) QTest::qWait(50);
  EXPECT_FALSE(window.IsMonitoring());
  EXPECT_FALSE(window.Runner().IsRunning());
  EXPECT_FALSE(window.StatusText().contains("Подключены")) << window.StatusText().toStdString();
  ASSERT_FALSE(prompts.messages.isEmpty());
  EXPECT_TRUE(prompts.messages.last().startsWith("Внимание: Сервер завершил работу аварийно.")) << prompts.messages.last().toStdString();
  EXPECT_TRUE(window.Form()->add_channel_action->isEnabled()) << "editing is back";
}

TEST_F(ServerRunTest, AConfigurationTheServerRefusesEndsTheRunWithItsLastLines) {
  const fs::path bad = home / "bad.cfg";
  {
    QFile file(QString::fromStdString(bad.string()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a configuration\n");
  }
  Run(QString::fromStdString(bad.string()));
  for (int i = 0; i < 100 && window.Runner().IsRunning(); ++i) QTest::qWait(50);
  QCoreApplication::processEvents();
  EXPECT_FALSE(window.Runner().IsRunning());
  ASSERT_FALSE(prompts.messages.isEmpty());
  const QString& message = prompts.messages.last();
  EXPECT_TRUE(message.startsWith("Внимание: Сервер завершил работу с кодом 1. Последние сообщения сервера:\n"))
      << message.toStdString();
  EXPECT_TRUE(message.contains("Failed call Load, exit")) << message.toStdString();
  EXPECT_FALSE(window.StatusText().contains("Подключены")) << window.StatusText().toStdString();
}

}  // namespace

TEST(Monitoring, WithoutAConnectionWarnsAndChangesNothing) {
  FakePrompts prompts;
  MainWindow window;
  window.Form()->monitoring_action->setEnabled(true);
  window.Form()->monitoring_action->trigger();
  EXPECT_FALSE(window.IsMonitoring());
  EXPECT_EQ(prompts.messages,
            QStringList{"Ошибка: Нет подключенных серверов: запустите сервер (меню «Сервис» → «Запустить сервер OPC UA») "
                        "или подключитесь к работающему серверу (меню «Сервис» → «Подключиться к серверу OPC UA»)"});
}
