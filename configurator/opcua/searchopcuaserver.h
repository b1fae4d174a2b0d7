// "Найти сервер OPC UA": the operator finds a server, lists its endpoints,
// picks one with an identity and connects. Every call that waits on the
// network runs on a worker behind a ProgressBar; the wrapper reports back
// through its queued signals.
#pragma once

#include <QDialog>
#include <QStringList>

#include <cstdint>
#include <functional>

class OPCUAWrapper;

namespace Ui {
class SearchOPCUAServer;
}

class SearchOPCUAServer : public QDialog {
  Q_OBJECT

 public:
  // `connected`, `servers` and `endpoints` describe the window's present
  // connection (or the lists of the last one); the wrapper outlives the dialog.
  SearchOPCUAServer(bool connected, QWidget* parent, const QStringList& servers, const QStringList& endpoints,
                    OPCUAWrapper* wrapper);
  ~SearchOPCUAServer() override;

  // What the window takes after the dialog closed.
  bool Connected() const { return m_connected; }
  QStringList Servers() const;
  QStringList Endpoints() const;
  // The server URL of the connection (the selected server).
  QString ServerUrl() const;

  // The connection that follows a server start, run on a worker thread while
  // the window waits in a ProgressBar joined to the two progress signals:
  // finds the server on the loopback `port`, takes the None endpoint and
  // connects anonymously with the wrapper in automatic mode. Closes the bar
  // with 0 when connected, else with the code of the failing step (1 the
  // server was not found, 2 no endpoints, 3 the endpoint refused, 4 other);
  // the same code is returned. `serverRuns`, asked from the worker between
  // attempts, ends the waiting for a server that has already ended (code -1,
  // which the bar shows no message for: the window says what happened).
  int ConnectAutomatically(uint16_t port, const std::function<bool()>& serverRuns = [] { return true; });

 signals:
  void signalCloseProgressBar(int code);
  void signalSetLabelProgressBar(QString newLabel);
  void signalDisconnect();

 public slots:
  void slotSetLogDlgSearchDevice(const QString& message);
  void slotSetServerDlgSearchDevice(const QStringList& servers);
  void slotSetEndpointDlgSearchDevice(const QStringList& endpoints);
  void slotErrorConnect();

 private slots:
  void on_pb_searchDevice_clicked();
  void on_pb_getEndPoint_clicked();
  void on_pb_connect_clicked();
  void on_pb_disconnect_clicked();
  void on_pb_ok_clicked();
  void on_pb_cancel_clicked();
  void on_radioButton_anonimus_clicked();
  void on_radioButton_anonimusEncrypt_clicked();
  void on_radioButton_certificate_clicked();
  void on_radioButton_userpassword_clicked();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;  // Esc: as "Отмена"

 private:
  int Identity() const;
  // Asks for the client's certificate, key and trusted folder; false when cancelled.
  bool ChooseCertificates();
  void ShowConnected();
  // Back to "not connected": buttons as after a start, both lists empty.
  void ShowDisconnected();
  void EnableLogin(bool enable);

  Ui::SearchOPCUAServer* ui;
  OPCUAWrapper* m_wrapper;
  bool m_connected;
  bool m_closing = false;
};
