// The configurator's one OPC UA client: server discovery, endpoints,
// connection with one of four identity kinds, browsing of the gateway's tree,
// the management methods the tree edits send while connected, and the
// monitoring subscriptions with the loop that brings their values in.
// Every client call holds one lock, so the GUI thread, workers and the client
// loop never use the library's client at the same time; every request waits
// at most kRequestTimeoutMs.
#pragma once

#include <open62541/client.h>

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantList>

#include <atomic>
#include <mutex>
#include <thread>

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
  // How long one round of the client loop waits for the network.
  static constexpr UA_UInt16 kLoopIterationMs = 10;
  // Subscription id -> the node ids monitored in it, in the caller's order.
  using Subscriptions = QMap<UA_UInt32, QStringList>;

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

  // The connection after a server start: a server that refuses the
  // connection (still starting) gives kRetry instead of kFailed.
  void SetAutomaticMode(bool automatic) { m_Automatic = automatic; }

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

  // One subscription per non-empty list of tag names ("<channel>.<device>.
  // <group>.<tag>", the string ids of namespace 2), publishing and sampling
  // every `intervalMs`. kFailed when a subscription is refused, kRetry when a
  // node cannot be monitored; either stops at that group. `subscriptions`
  // gets every subscription made so far, also after a failure, so that
  // DeleteSubscriptions can take them back.
  int CreateSubscriptions(const QList<QStringList>& groups, int intervalMs, Subscriptions& subscriptions);
  // kFailed when the server refuses one; those stay for another try.
  int DeleteSubscriptions();

  // The client loop: a thread that lets the library take in notifications
  // while the run flag is set (it starts set). Clearing the flag also joins
  // the thread; Disconnect and the destructor clear it, so monitoring sets it
  // again before it starts the loop.
  void SetLoopRunFlag(bool run);
  void StartClientLoop();

 signals:
  void signalSetLogDlgSearchDevice(QString message);
  void signalSetServerDlgSearchDevice(QStringList servers);
  void signalSetEndpointDlgSearchDevice(QStringList endpoints);
  // {monitored item id as the server numbers it (int), value (bool, int,
  // uint, qlonglong, qulonglong, float or double as the server sent it),
  // status code name, the tag name as CreateSubscriptions got it,
  // subscription id (int)}. Emitted on the thread that runs the client
  // (mostly the client loop's) while it holds the client: connect it queued,
  // and never call the wrapper from a direct receiver.
  void signalDataChange(QVariantList mess);
  void signalErrorConnect();

 private:
  // Every caller takes the client through this, so the loop can see that
  // someone waits and let them in between its rounds.
  std::unique_lock<std::recursive_mutex> Lock() const;
  bool CallMethod(const char* method, const QString& input);
  void Browse(const UA_NodeId& node, int depth);
  void NewClient();
  void DropClient();
  UA_StatusCode SetUpSecurity(int identity, const QString& user, const QString& password);
  void Report(const QString& message, bool warning);
  // On the wrapper's thread: lets the library take in what arrived (a closed
  // connection among it) without waiting, and reports a lost connection.
  void WatchConnection();
  // One round of the library (waiting at most `timeoutMs`), then a lost
  // connection is reported. False without a connected client.
  bool Iterate(UA_UInt16 timeoutMs);
  int Subscribe(const QStringList& nodes, int intervalMs);
  int Monitor(UA_UInt32 subscription, const QStringList& nodes, int intervalMs);
  static void OnDataChange(UA_Client* client, UA_UInt32 subscription, void* wrapper, UA_UInt32 item,
                           void* position, UA_DataValue* value);
  void DataChange(UA_UInt32 subscription, UA_UInt32 item, qsizetype position, const UA_DataValue& value);
  void ClientLoop();
  void LetCallersIn() const;

  mutable std::recursive_mutex m_Lock;  // the client and everything below
  mutable std::atomic<int> m_Waiting{0};  // callers waiting for m_Lock
  UA_Client* m_Client = nullptr;
  // Read without the lock: the window asks while a worker may hold the client.
  std::atomic<bool> m_Connected{false};
  std::atomic<bool> m_Automatic{false};
  QStringList m_FoundNodes;
  QString m_Certificate, m_Key, m_TrustFolder;
  Subscriptions m_Subscriptions;  // those of m_Client; gone with it
  QTimer m_Watch;

  std::mutex m_LoopGuard;  // m_Loop
  std::thread m_Loop;
  std::atomic<bool> m_LoopRun{true};
};
