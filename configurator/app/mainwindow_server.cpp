// The main window's control of its own server: the run dialog, the start
// with the automatic connection, the output window, the orderly stop and a
// server that ends by itself.
#include <QFileInfo>
#include <QLabel>

#include "app/app_log.h"
#include "app/mainwindow.h"
#include "app/prompts.h"
#include "common/options.h"
#include "dialogs/progressbar.h"
#include "opcua/opcua_wrapper.h"
#include "opcua/searchopcuaserver.h"
#include "server_process/run_parameters.h"
#include "server_process/runpreparedialog.h"
#include "server_process/serveroutputdialog.h"

namespace {

const char kNotRunning[] = " Сервер не запущен";
// Lines of the server's output shown when it ended by itself.
constexpr int kLastLinesShown = 15;

}  // namespace

void MainWindow::slotRunServer(QString trustFolder, QString certFile, QString keyFile) {
  m_runTrustFolder = trustFolder;
  m_runCertFile = certFile;
  m_runKeyFile = keyFile;
}

bool MainWindow::ConnectToStartedServer(uint16_t port) {
  Wrapper().SetCertificatePaths(m_runCertFile, m_runKeyFile, m_runTrustFolder);
  SearchOPCUAServer search(false, this, {}, {}, &Wrapper());
  connect(&search, &SearchOPCUAServer::signalDisconnect, this, &MainWindow::slotDisconnect);
  // The search reports to the window's progress dialog through the window's signals.
  connect(&search, &SearchOPCUAServer::signalSetLabelProgressBar, this, &MainWindow::signalSetLabelProgressBar);
  connect(&search, &SearchOPCUAServer::signalCloseProgressBar, this, &MainWindow::signalCloseProgressBar);
  m_searching = true;  // the progress dialog reports the failures
  const int code = RunWithProgress(
      [this, &search, port] { search.ConnectAutomatically(port, [this] { return !m_runner.HasEnded(); }); });
  m_searching = false;
  if (code != 0) return false;
  m_servers = search.Servers();
  m_endpoints = search.Endpoints();
  ShowConnection(search.ServerUrl());
  return true;
}

void MainWindow::on_run_server_action_triggered() {
  Prompts& prompts = CurrentPrompts();
  if (m_unsaved &&
      prompts.Question(this, "Внимание", "Перед запуском сервера сохранить изменения настроек?",
                       QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok)
    on_save_action_triggered();
  if (m_runner.IsRunning()) {
    if (prompts.Question(this, "Внимание", "Сервер уже запущен, перезапустить с новыми настройками?",
                         QMessageBox::Ok | QMessageBox::No) != QMessageBox::Ok)
      return;
    if (!StopServer()) return;
  }
  RunPrepareDialog dialog(this);
  dialog.Fill(m_configPath, m_runCertFile, m_runKeyFile, m_runTrustFolder);
  connect(&dialog, &RunPrepareDialog::signalRunServer, this, &MainWindow::slotRunServer);
  if (dialog.exec() != QDialog::Accepted) return;
  const QStringList parameters = dialog.AcceptedRunParameters();
  if (!QFileInfo(m_runner.Program()).isFile()) {
    Warn("При запуске сервера произошла ошибка! Файл сервера не найден", "Ошибка");
    return;
  }
  const QString configPath = parameters[kRunConfigPath];
  virk::WriteOptions(configPath.toStdString(), RunStartOptions(parameters));
  if (!m_runner.Start(parameters)) {
    Warn("При запуске сервера произошла ошибка!", "Ошибка");
    return;
  }
  const bool connected = ConnectToStartedServer(uint16_t(parameters[kRunPort].toUInt()));
  // A server that ended meanwhile has been reported; the window keeps its configuration.
  if (m_runner.HasEnded()) return;
  LogInfo("Сервер успешно запущен! Настройки сохранены в файл " + configPath);
  m_statusLabel->setText(m_statusLabel->text() + " Сервер запущен");
  if (configPath != m_configPath) LoadConfigurationFrom(configPath, false);
  if (connected) LogInfo("Успешно подключились к серверу!");
}

void MainWindow::DropConnection() {
  ShowConnection({});
  if (m_wrapper && m_wrapper->IsConnected())
    RunBehindProgressBar(this, "Выполняется отключение от сервера, пожалуйста, подождите...",
                         [this] { return m_wrapper->Disconnect(); });
}

bool MainWindow::StopServer() {
  EndMonitoring(true);
  DropConnection();
  return m_runner.Stop();
}

void MainWindow::on_stop_server_action_triggered() {
  if (!m_runner.IsRunning()) {
    CurrentPrompts().Warning(this, "Внимание", "Сервер уже остановлен");
    LogWarning("Сервер уже остановлен!");
    return;
  }
  if (!StopServer()) {
    Warn("При остановке сервера произошла ошибка!", "Ошибка");
    return;
  }
  CurrentPrompts().Information(this, "Успешно", "Сервер успешно остановлен!");
  LogInfo("Сервер успешно остановлен!");
  m_statusLabel->setText(kNotRunning);
  m_runner.ClearOutput();
}

void MainWindow::on_showOutput_action_triggered() {
  if (!m_runner.IsRunning()) {
    Warn("Сервер не запущен!", "Ошибка");
    return;
  }
  ServerOutputDialog(m_runner.Output(), this).exec();
}

void MainWindow::slotServerEnded(int exitCode, QProcess::ExitStatus status) {
  EndMonitoring(false);
  DropConnection();
  m_statusLabel->setText(kNotRunning);
  const QString how = status == QProcess::CrashExit ? QString("аварийно") : QString("с кодом %1").arg(exitCode);
  Warn(QString("Сервер завершил работу %1. Последние сообщения сервера:\n%2").arg(how, m_runner.LastLines(kLastLinesShown)));
}
