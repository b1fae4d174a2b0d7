#include "opcua/searchopcuaserver.h"

#include <QCloseEvent>
#include <QDateTime>

#include "dialogs/progressbar.h"
#include "platform/platform.h"
#include "dialogs/security/dialogchoosecertificate.h"
#include "opcua/opcua_wrapper.h"
#include "ui_searchopcuaserver.h"

namespace {

const char kNonePolicy[] = "http://opcfoundation.org/UA/SecurityPolicy#None";
const char kDefaultUrl[] = "opc.tcp://127.0.0.1:4840";
const char kAutoLabel[] = "Подключаемся к серверу, пожалуйста, подождите... (%1 из 10)";

// Discovery attempts of the automatic connection and the wait between them.
constexpr int kAutoAttempts = 9;
constexpr uint32_t kAutoRetryMs = 5000;
// A server just started takes a moment to listen; the port is watched (no
// connection made) for at most this long instead of waiting it out.
constexpr uint32_t kListenWaitMs = 2000;
constexpr uint32_t kListenPollMs = 50;
// The close code when the server ended while it was being waited for.
constexpr int kServerEnded = -1;

// Waits up to `ms` until `done`; false when `serverRuns` said no first.
bool WaitFor(uint32_t ms, const std::function<bool()>& done, const std::function<bool()>& serverRuns) {
  for (uint32_t waited = 0; waited < ms && !done(); waited += kListenPollMs) {
    if (!serverRuns()) return false;
    virk::platform::SleepMs(kListenPollMs);
  }
  return serverRuns();
}

}  // namespace

SearchOPCUAServer::SearchOPCUAServer(bool connected, QWidget* parent, const QStringList& servers,
                                     const QStringList& endpoints, OPCUAWrapper* wrapper)
    : QDialog(parent), ui(new Ui::SearchOPCUAServer), m_wrapper(wrapper), m_connected(connected) {
  ui->setupUi(this);
  ui->radioButton_anonimus->setText(QString("Анонимный доступ (только для %1)").arg(kNonePolicy));
  ui->le_device->setText(kDefaultUrl);
  EnableLogin(false);
  ui->cb_server->addItems(servers);
  ui->cb_endpoint->addItems(endpoints);
  if (m_connected) {
    ShowConnected();
  } else {
    const bool previous = !servers.isEmpty() && !endpoints.isEmpty();
    ui->pb_connect->show();
    ui->pb_disconnect->hide();
    ui->pb_connect->setEnabled(previous);
    ui->pb_getEndPoint->setEnabled(previous);
  }
  connect(m_wrapper, &OPCUAWrapper::signalSetLogDlgSearchDevice, this, &SearchOPCUAServer::slotSetLogDlgSearchDevice);
  connect(m_wrapper, &OPCUAWrapper::signalSetServerDlgSearchDevice, this,
          &SearchOPCUAServer::slotSetServerDlgSearchDevice);
  connect(m_wrapper, &OPCUAWrapper::signalSetEndpointDlgSearchDevice, this,
          &SearchOPCUAServer::slotSetEndpointDlgSearchDevice);
  connect(m_wrapper, &OPCUAWrapper::signalErrorConnect, this, &SearchOPCUAServer::slotErrorConnect);
}

SearchOPCUAServer::~SearchOPCUAServer() { delete ui; }

QStringList SearchOPCUAServer::Servers() const {
  QStringList list;
  for (int i = 0; i < ui->cb_server->count(); ++i) list << ui->cb_server->itemText(i);
  return list;
}

QStringList SearchOPCUAServer::Endpoints() const {
  QStringList list;
  for (int i = 0; i < ui->cb_endpoint->count(); ++i) list << ui->cb_endpoint->itemText(i);
  return list;
}

QString SearchOPCUAServer::ServerUrl() const { return ui->cb_server->currentText(); }

// ------------------------------------------------------------ wrapper reports

void SearchOPCUAServer::slotSetLogDlgSearchDevice(const QString& message) {
  ui->te_log->moveCursor(QTextCursor::End);
  ui->te_log->insertPlainText("[" + QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss.zzz") + "] " +
                              message + "\n");
  ui->te_log->moveCursor(QTextCursor::End);
}

void SearchOPCUAServer::slotSetServerDlgSearchDevice(const QStringList& servers) {
  ui->cb_server->clear();
  ui->cb_server->addItems(servers);
  if (servers.isEmpty()) {
    slotSetLogDlgSearchDevice("Нет найденных устройств");
    return;
  }
  ui->pb_getEndPoint->setEnabled(true);
}

void SearchOPCUAServer::slotSetEndpointDlgSearchDevice(const QStringList& endpoints) {
  ui->cb_endpoint->clear();
  ui->cb_endpoint->addItems(endpoints);
  if (endpoints.isEmpty()) slotSetLogDlgSearchDevice("Нет найденных серверов");
}

void SearchOPCUAServer::slotErrorConnect() {
  ShowDisconnected();
  ui->pb_connect->setEnabled(false);
}

// ------------------------------------------------------------------ buttons

void SearchOPCUAServer::on_pb_searchDevice_clicked() {
  const QString url = ui->le_device->text().trimmed();
  if (url.isEmpty()) {
    slotSetLogDlgSearchDevice("Нет найденных серверов");
    return;
  }
  RunBehindProgressBar(this, "Выполняется поиск сервера, пожалуйста, подождите...",
                       [&] { return m_wrapper->FindServers(url); });
}

void SearchOPCUAServer::on_pb_getEndPoint_clicked() {
  const QString url = ui->cb_server->currentText();
  if (url.isEmpty()) {
    slotSetLogDlgSearchDevice("Нет найденных серверов");
    return;
  }
  const int result = RunBehindProgressBar(this, "Выполняется получение конечных точек, пожалуйста, подождите...",
                                          [&] { return m_wrapper->GetEndpoints(url); });
  if (result == OPCUAWrapper::kOk) ui->pb_connect->setEnabled(true);
}

int SearchOPCUAServer::Identity() const {
  if (ui->radioButton_anonimus->isChecked()) return OPCUAWrapper::kAnonymous;
  if (ui->radioButton_anonimusEncrypt->isChecked()) return OPCUAWrapper::kAnonymousEncrypted;
  if (ui->radioButton_certificate->isChecked()) return OPCUAWrapper::kCertificate;
  return OPCUAWrapper::kUserPassword;
}

bool SearchOPCUAServer::ChooseCertificates() {
  DialogChooseCertificate dialog(this);
  const QStringList paths = m_wrapper->CertificatePaths();
  dialog.SetFields(paths.value(0), paths.value(1), paths.value(2));
  if (dialog.exec() != QDialog::Accepted || dialog.CertFile().isEmpty() || dialog.KeyFile().isEmpty() ||
      dialog.TrustFolder().isEmpty())
    return false;
  m_wrapper->SetCertificatePaths(dialog.CertFile(), dialog.KeyFile(), dialog.TrustFolder());
  return true;
}

void SearchOPCUAServer::on_pb_connect_clicked() {
  const QString url = ui->cb_server->currentText();
  const QString endpoint = ui->cb_endpoint->currentText();
  if (endpoint.isEmpty()) {
    slotSetLogDlgSearchDevice("Нет найденных точек");
    return;
  }
  const int identity = Identity();
  if (identity != OPCUAWrapper::kAnonymous && !ChooseCertificates()) return;
  const QString user = ui->le_user->text(), password = ui->le_password->text();
  const bool browse = ui->checkBox_browse->isChecked();
  const int result = RunBehindProgressBar(this, "Подключаемся к серверу, пожалуйста, подождите...", [&] {
    return m_wrapper->Connect(url, endpoint, browse, identity, user, password);
  });
  if (result != OPCUAWrapper::kOk) return;
  m_connected = true;
  ShowConnected();
}

void SearchOPCUAServer::on_pb_disconnect_clicked() {
  const int result = RunBehindProgressBar(this, "Выполняется отключение от сервера, пожалуйста, подождите...",
                                          [&] { return m_wrapper->Disconnect(); });
  if (result != OPCUAWrapper::kOk) return;
  slotSetLogDlgSearchDevice("Отключение от сервера успешно завершено\n");
  ShowDisconnected();
  emit signalDisconnect();
}

void SearchOPCUAServer::on_pb_ok_clicked() {
  m_connected = m_wrapper->IsConnected();  // a connection lost meanwhile is not taken
  m_closing = true;
  done(1);
}

void SearchOPCUAServer::on_pb_cancel_clicked() {
  if (m_connected) on_pb_disconnect_clicked();
  m_closing = true;
  QDialog::reject();
}

void SearchOPCUAServer::reject() { on_pb_cancel_clicked(); }

// Closing the window keeps the connection, as Ok does (the base class would cancel).
void SearchOPCUAServer::closeEvent(QCloseEvent* event) {
  if (!m_closing) on_pb_ok_clicked();
  event->accept();
}

// ---------------------------------------------------------------- identity

void SearchOPCUAServer::EnableLogin(bool enable) {
  ui->le_user->setEnabled(enable);
  ui->le_password->setEnabled(enable);
}

void SearchOPCUAServer::on_radioButton_anonimus_clicked() { EnableLogin(false); }
void SearchOPCUAServer::on_radioButton_anonimusEncrypt_clicked() { EnableLogin(false); }
void SearchOPCUAServer::on_radioButton_certificate_clicked() { EnableLogin(false); }
void SearchOPCUAServer::on_radioButton_userpassword_clicked() { EnableLogin(true); }

// ------------------------------------------------------------------- states

void SearchOPCUAServer::ShowConnected() {
  ui->pb_connect->hide();
  ui->pb_disconnect->show();
  ui->pb_searchDevice->setEnabled(false);
  ui->pb_getEndPoint->setEnabled(false);
}

void SearchOPCUAServer::ShowDisconnected() {
  ui->pb_connect->show();
  ui->pb_disconnect->hide();
  ui->pb_searchDevice->setEnabled(true);
  ui->pb_getEndPoint->setEnabled(false);
  ui->cb_server->clear();
  ui->cb_endpoint->clear();
  m_connected = false;
}

// ------------------------------------------------------ automatic connection

int SearchOPCUAServer::ConnectAutomatically(uint16_t port, const std::function<bool()>& serverRuns) {
  const QString url = QString("opc.tcp://127.0.0.1:%1").arg(port);
  const auto finish = [this](int code) {
    m_wrapper->SetAutomaticMode(false);
    emit signalCloseProgressBar(code);
    return code;
  };
  const auto never = [] { return false; };
  const auto listening = [port] {
    std::string error;
    return !virk::platform::TcpPortFree(port, error);
  };
  emit signalSetLabelProgressBar(QString(kAutoLabel).arg(1));
  if (!WaitFor(kListenWaitMs, listening, serverRuns)) return finish(kServerEnded);
  m_wrapper->SetAutomaticMode(true);
  int found = OPCUAWrapper::kRetry;
  for (int attempt = 1; attempt <= kAutoAttempts && found == OPCUAWrapper::kRetry; ++attempt) {
    if (attempt > 1 && !WaitFor(kAutoRetryMs, never, serverRuns)) return finish(kServerEnded);
    emit signalSetLabelProgressBar(QString(kAutoLabel).arg(attempt));
    found = m_wrapper->FindServers(url);
  }
  if (found != OPCUAWrapper::kOk) return finish(1);
  if (m_wrapper->GetEndpoints(url) != OPCUAWrapper::kOk) return finish(2);
  const int connected = m_wrapper->Connect(url, kNonePolicy, false, OPCUAWrapper::kAnonymous, {}, {});
  if (connected != OPCUAWrapper::kOk) return finish(connected == OPCUAWrapper::kRetry ? 3 : 4);
  m_connected = true;
  return finish(0);
}

