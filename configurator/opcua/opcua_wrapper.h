// The configurator's one OPC UA client: server discovery, endpoints,
// connection with one of four identity kinds, browsing of the gateway's tree
// and the management methods the tree edits send while connected.
// Every client call holds one lock, so the GUI thread, workers and a client
// loop never use the library's client at the same time; every request waits
// at most kRequestTimeoutMs.
#pragma once

#include <open62541/client.h>

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <mutex>

#include "model/server_calls.h"

class OPCUAWrapper : public QObject, public ServerCalls {
  Q_OBJECT

 public:
  enum Identity { kAnonymous = 0, kAnonymousEncrypted = 1, kUserPassword = 2, kCertificate = 3 };
  // Results of discovery and connection.
  enum Result { kOk = 0, kFailed = 1, kRetry = 2 };
  static constexpr UA_UInt32 kRequestTimeoutMs = 10000;
  // How often a connected client looks at its connection between calls.
  static constexpr int kWatchIntervalMs = 500;

  explicit OPCUAWrapper(QObject* parent = nullptr);
  ~OPCUAWrapper() override;

  int FindServers(const QString& url);
  int GetEndpoints(const QString& url);
  // `endpoint` as GetEndpoints lists it: "<policy URI> (<mode>)".
  int Connect(const QString& url, const QString& endpoint, bool browse, int identity, const QString& user,
              const QString& password);
  int Disconnect();
  void SetCertificatePaths(const QString& certificate, const QString& key, const QString& trustFolder);
  // Certificate, key and trusted folder, as last set.
  QStringList CertificatePaths() const;

  bool IsConnected() const;
  // "ns=2;s=<full name>" of every node found below "Каналы" by the last browse.
  QStringList FoundNodes() const;

  // The management methods; true only when the call went through and the
  // server answered "Success" (a refused edit comes back as "Failed" with a
  // good status).
  bool AddNode(const QStringList& args) override;
  bool EditNode(const QStringList& args) override;
  bool DeleteNode(const QStringList& args) override;
  bool StartExchange() override;
  bool StopExchange() override;

 signals:
  void signalSetLogDlgSearchDevice(QString message);
  void signalSetServerDlgSearchDevice(QStringList servers);
  void signalSetEndpointDlgSearchDevice(QStringList endpoints);
  void signalErrorConnect();

 private:
  bool CallMethod(const char* method, const QString& input);
  void Browse(const UA_NodeId& node, int depth);
  void NewClient();
  void DropClient();
  UA_StatusCode SetUpSecurity(int identity, const QString& user, const QString& password);
  void Report(const QString& message, bool warning);
  // On the wrapper's thread: lets the library take in what arrived (a closed
  // connection among it) without waiting, and reports a lost connection.
  void WatchConnection();

  mutable std::recursive_mutex m_Lock;  // the client and everything below
  UA_Client* m_Client = nullptr;
  // Read without the lock: the window asks while a worker may hold the client.
  std::atomic<bool> m_Connected{false};
  QStringList m_FoundNodes;
  QString m_Certificate, m_Key, m_TrustFolder;
  QTimer m_Watch;
};
