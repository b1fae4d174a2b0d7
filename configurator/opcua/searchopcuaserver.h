// "Найти сервер OPC UA": the operator finds a server, lists its endpoints,
// picks one with an identity and connects. Every call that waits on the
// network runs on a worker behind a ProgressBar; the wrapper reports back
// through its queued signals.
#pragma once

#include <QDialog>
#include <QStringList>

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
  const QStringList& FoundNodes() const { return m_foundNodes; }
  QStringList Servers() const;
  QStringList Endpoints() const;
  // The server URL of the connection (the selected server).
  QString ServerUrl() const;

 signals:
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
  // Ok and closing the window: what the window takes.
  void TakeConnection();

  Ui::SearchOPCUAServer* ui;
  OPCUAWrapper* m_wrapper;
  bool m_connected;
  bool m_closing = false;
  QStringList m_foundNodes;
};
