#include "opcua/opcua_wrapper.h"

#include <open62541/client_config_default.h>
#include <open62541/client_highlevel.h>
#include <open62541/client_subscriptions.h>
#include <openssl/x509v3.h>

#include <QDirIterator>
#include <QFile>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/app_log.h"

namespace {

constexpr char kApplicationUri[] = "urn:virkopcua.server.application";
constexpr char kOwnUri[] = "urn:open62541.server.application";
constexpr char kChannelsFolder[] = "Каналы";
constexpr int kBrowseDepth = 8;  // channels, devices, groups, tags and their variables
constexpr UA_UInt16 kTagNamespace = 2;
// How long the loop stands aside for one waiting caller at most.
constexpr int kStandAsideRounds = 100;
constexpr auto kStandAsideStep = std::chrono::milliseconds(1);

const UA_Logger kQuiet{[](void*, UA_LogLevel, UA_LogCategory, const char*, va_list) {}, nullptr, nullptr};

QString Text(const UA_String& s) { return QString::fromUtf8(reinterpret_cast<const char*>(s.data), qsizetype(s.length)); }
QString StatusName(UA_StatusCode status) { return QString::fromLatin1(UA_StatusCode_name(status)); }

QString ModeName(UA_MessageSecurityMode mode) {
  switch (mode) {
    case UA_MESSAGESECURITYMODE_NONE:
      return "None";
    case UA_MESSAGESECURITYMODE_SIGN:
      return "Sign";
    case UA_MESSAGESECURITYMODE_SIGNANDENCRYPT:
      return "Sign and Encrypt";
    default:
      return {};
  }
}

// Owns a byte string read from a file.
struct FileBytes {
  UA_ByteString bytes = UA_BYTESTRING_NULL;
  explicit FileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray data = file.readAll();
    if (UA_ByteString_allocBuffer(&bytes, size_t(data.size())) == UA_STATUSCODE_GOOD && !data.isEmpty())
      std::memcpy(bytes.data, data.constData(), size_t(data.size()));
  }
  ~FileBytes() { UA_ByteString_clear(&bytes); }
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
  bool Empty() const { return bytes.length == 0; }
};

// The URI in the certificate's subject alternative names: open62541 servers
// refuse a client whose announced application URI is not in its certificate.
QString CertificateUri(const UA_ByteString& der) {
  const unsigned char* data = der.data;
  X509* certificate = d2i_X509(nullptr, &data, long(der.length));
  if (certificate == nullptr) return {};
  QString uri;
  auto* names = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
  for (int i = 0; names != nullptr && i < sk_GENERAL_NAME_num(names) && uri.isEmpty(); ++i) {
    const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
    if (name->type == GEN_URI)
      uri = QString::fromLatin1(reinterpret_cast<const char*>(ASN1_STRING_get0_data(name->d.uniformResourceIdentifier)),
                                ASN1_STRING_length(name->d.uniformResourceIdentifier));
  }
  GENERAL_NAMES_free(names);
  X509_free(certificate);
  return uri;
}

void SetText(UA_String& target, const QString& text) {
  UA_String_clear(&target);
  target = UA_STRING_ALLOC(text.toUtf8().constData());
}

template <typename Ua, typename Shown>
QVariant As(const void* data) {
  return QVariant::fromValue(Shown(*static_cast<const Ua*>(data)));
}

// The value types monitoring shows, each as its own kind of number.
struct Conversion {
  UA_DataTypeKind kind;
  QVariant (*convert)(const void* data);
};
constexpr Conversion kConversions[] = {
    {UA_DATATYPEKIND_BOOLEAN, As<UA_Boolean, bool>}, {UA_DATATYPEKIND_SBYTE, As<UA_SByte, int>},
    {UA_DATATYPEKIND_BYTE, As<UA_Byte, uint>},       {UA_DATATYPEKIND_INT16, As<UA_Int16, int>},
    {UA_DATATYPEKIND_UINT16, As<UA_UInt16, uint>},   {UA_DATATYPEKIND_INT32, As<UA_Int32, int>},
    {UA_DATATYPEKIND_UINT32, As<UA_UInt32, uint>},   {UA_DATATYPEKIND_INT64, As<UA_Int64, qlonglong>},
    {UA_DATATYPEKIND_UINT64, As<UA_UInt64, qulonglong>}, {UA_DATATYPEKIND_FLOAT, As<UA_Float, float>},
    {UA_DATATYPEKIND_DOUBLE, As<UA_Double, double>},
};

// The scalar as the server sent it; invalid for any other type.
QVariant ValueOf(const UA_Variant& value) {
  if (value.type == nullptr || !UA_Variant_isScalar(&value)) return {};
  for (const Conversion& conversion : kConversions)
    if (conversion.kind == UA_DataTypeKind(value.type->typeKind)) return conversion.convert(value.data);
  return {};
}

}  // namespace

OPCUAWrapper::OPCUAWrapper(QObject* parent) : QObject(parent) {
  m_Watch.setInterval(kWatchIntervalMs);
  connect(&m_Watch, &QTimer::timeout, this, &OPCUAWrapper::WatchConnection);
  m_Watch.start();
}

void OPCUAWrapper::WatchConnection() {
  // A call of another thread may hold the client for a whole time-out: the
  // watch then waits for the next round instead of freezing its thread.
  std::unique_lock<std::recursive_mutex> lock(m_Lock, std::try_to_lock);
  if (lock.owns_lock()) Iterate(0);
}

bool OPCUAWrapper::Iterate(UA_UInt16 timeoutMs) {
  if (m_Client == nullptr || !m_Connected) return false;
  // The library takes a receive of nothing (the server closed) for "try
  // again" when errno still holds an EAGAIN of an earlier call, and then
  // never looks at the socket again (measured: 2 of 8 killed servers went
  // unnoticed); a clean errno lets it see the end. Calls of the library
  // that wait for an answer have no such gap.
  errno = 0;
  UA_Client_run_iterate(m_Client, timeoutMs);
  UA_SecureChannelState channel = UA_SECURECHANNELSTATE_CLOSED;
  UA_SessionState session = UA_SESSIONSTATE_CLOSED;
  UA_StatusCode status = UA_STATUSCODE_GOOD;
  UA_Client_getState(m_Client, &channel, &session, &status);
  if (channel == UA_SECURECHANNELSTATE_OPEN && session == UA_SESSIONSTATE_ACTIVATED) return true;
  DropClient();
  Report(QString("Соединение с сервером потеряно. Код ошибки %1")
             .arg(StatusName(status == UA_STATUSCODE_GOOD ? UA_STATUSCODE_BADCONNECTIONCLOSED : status)),
         true);
  emit signalErrorConnect();
  return false;
}

OPCUAWrapper::~OPCUAWrapper() {
  SetLoopRunFlag(false);
  const auto lock = Lock();
  DropClient();
}

std::unique_lock<std::recursive_mutex> OPCUAWrapper::Lock() const {
  ++m_Waiting;
  std::unique_lock<std::recursive_mutex> lock(m_Lock);
  --m_Waiting;
  return lock;
}

void OPCUAWrapper::Report(const QString& message, bool warning) {
  emit signalSetLogDlgSearchDevice(message);
  warning ? LogWarning(message) : LogInfo(message);
}

void OPCUAWrapper::NewClient() {
  DropClient();
  UA_ClientConfig config;
  std::memset(&config, 0, sizeof config);
  config.logging = const_cast<UA_Logger*>(&kQuiet);
  UA_ClientConfig_setDefault(&config);
  config.timeout = kRequestTimeoutMs;
  m_Client = UA_Client_newWithConfig(&config);
}

void OPCUAWrapper::DropClient() {
  if (m_Client == nullptr) return;
  UA_Client_disconnect(m_Client);
  UA_Client_delete(m_Client);
  m_Client = nullptr;
  m_Connected = false;
  m_Subscriptions.clear();
}

int OPCUAWrapper::FindServers(const QString& url) {
  const auto lock = Lock();
  NewClient();
  size_t size = 0;
  UA_ApplicationDescription* servers = nullptr;
  const UA_StatusCode status =
      UA_Client_findServers(m_Client, url.toUtf8().constData(), 0, nullptr, 0, nullptr, &size, &servers);
  if (status != UA_STATUSCODE_GOOD) {
    Report(QString("Не удалось найти сервер. Обнаружение сервера включено? Код ошибки %1").arg(StatusName(status)),
           true);
    emit signalErrorConnect();
    return m_Automatic && status == UA_STATUSCODE_BADCONNECTIONREJECTED ? kRetry : kFailed;
  }
  QStringList list{url};
  for (size_t i = 0; i < size; ++i)
    for (size_t k = 0; k < servers[i].discoveryUrlsSize; ++k) list << Text(servers[i].discoveryUrls[k]);
  UA_Array_delete(servers, size, &UA_TYPES[UA_TYPES_APPLICATIONDESCRIPTION]);
  Report("Поиск сервера успешно завершен.", false);
  emit signalSetServerDlgSearchDevice(list);
  return kOk;
}

int OPCUAWrapper::GetEndpoints(const QString& url) {
  const auto lock = Lock();
  if (m_Client == nullptr) NewClient();
  size_t size = 0;
  UA_EndpointDescription* endpoints = nullptr;
  const UA_StatusCode status = UA_Client_getEndpoints(m_Client, url.toUtf8().constData(), &size, &endpoints);
  if (status != UA_STATUSCODE_GOOD) {
    emit signalSetLogDlgSearchDevice(QString("Не удалось получить конечные точки. Код ошибки %1").arg(StatusName(status)));
    LogWarning(QString("Не удалось подключиться к конечной точке. Код ошибки %1").arg(StatusName(status)));
    emit signalErrorConnect();
    return kFailed;
  }
  QStringList list;
  for (size_t i = 0; i < size; ++i)
    if (Text(endpoints[i].server.applicationUri) == kApplicationUri)
      list << QString("%1 (%2)").arg(Text(endpoints[i].securityPolicyUri), ModeName(endpoints[i].securityMode));
  UA_Array_delete(endpoints, size, &UA_TYPES[UA_TYPES_ENDPOINTDESCRIPTION]);
  if (list.isEmpty()) {
    Report("Не удалось найти конечные точки на сервере.", true);
    emit signalErrorConnect();
    return kFailed;
  }
  Report("Получение конечных точек успешно завершено.", false);
  emit signalSetEndpointDlgSearchDevice(list);
  return kOk;
}

void OPCUAWrapper::SetCertificatePaths(const QString& certificate, const QString& key, const QString& trustFolder) {
  const auto lock = Lock();
  m_Certificate = certificate;
  m_Key = key;
  m_TrustFolder = trustFolder;
}

QStringList OPCUAWrapper::CertificatePaths() const {
  std::lock_guard<std::recursive_mutex> lock(m_Lock);
  return {m_Certificate, m_Key, m_TrustFolder};
}

// The encryption and the identity of kinds 1 to 3 on the client's configuration.
UA_StatusCode OPCUAWrapper::SetUpSecurity(int identity, const QString& user, const QString& password) {
  UA_ClientConfig* config = UA_Client_getConfig(m_Client);
  const FileBytes certificate(m_Certificate), key(m_Key);
  if (certificate.Empty() || key.Empty()) {
    Report("Сертификаты не найдены", true);
    return UA_STATUSCODE_BADNOTFOUND;
  }
  std::vector<UA_ByteString> trusted;
  for (QDirIterator it(m_TrustFolder, {"*.der"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
    const FileBytes file(it.next());
    UA_ByteString copy;
    UA_ByteString_copy(&file.bytes, &copy);
    trusted.push_back(copy);
  }
  UA_StatusCode status = UA_STATUSCODE_GOOD;
  if (!trusted.empty()) {
    status = UA_ClientConfig_setDefaultEncryption(config, certificate.bytes, key.bytes, trusted.data(),
                                                  trusted.size(), nullptr, 0);
    if (status == UA_STATUSCODE_GOOD && identity == kCertificate)
      status = UA_ClientConfig_setAuthenticationCert(config, certificate.bytes, key.bytes);
  }
  for (UA_ByteString& bytes : trusted) UA_ByteString_clear(&bytes);
  config->timeout = kRequestTimeoutMs;
  const QString uri = CertificateUri(certificate.bytes);
  SetText(config->clientDescription.applicationUri, uri.isEmpty() ? QString(kOwnUri) : uri);
  if (status == UA_STATUSCODE_GOOD && identity == kUserPassword)
    status = UA_ClientConfig_setAuthenticationUsername(config, user.toUtf8().constData(),
                                                       password.toUtf8().constData());
  return status;
}

int OPCUAWrapper::Connect(const QString& url, const QString& endpoint, bool browse, int identity, const QString& user,
                          const QString& password) {
  const auto lock = Lock();
  const QString policy = endpoint.section(" (", 0, 0);
  if (policy.isEmpty()) {
    Report("Не удалось подключиться к конечной точке. Конечная точка не опознана", true);
    emit signalErrorConnect();
    DropClient();
    return kFailed;
  }
  LogInfo("Выбрана конечная точка: " + policy);
  NewClient();
  UA_ClientConfig* config = UA_Client_getConfig(m_Client);
  SetText(config->clientDescription.applicationUri, kOwnUri);
  config->clientDescription.applicationType = UA_APPLICATIONTYPE_CLIENT;
  if (identity != kAnonymous && SetUpSecurity(identity, user, password) != UA_STATUSCODE_GOOD) {
    DropClient();
    return kFailed;
  }
  config->securityMode = endpoint.contains("None") ? UA_MESSAGESECURITYMODE_NONE : UA_MESSAGESECURITYMODE_SIGNANDENCRYPT;
  SetText(config->securityPolicyUri, policy);
  const UA_StatusCode status = UA_Client_connect(m_Client, url.toUtf8().constData());
  if (status != UA_STATUSCODE_GOOD) {
    const bool retry = m_Automatic && status == UA_STATUSCODE_BADCONNECTIONREJECTED;
    const bool policyHint = status == UA_STATUSCODE_BADINTERNALERROR || status == UA_STATUSCODE_BADIDENTITYTOKENREJECTED;
    const char* text = retry ? "Не удалось автоматически подключиться к конечной точке. Попробуйте в ручную. Код ошибки %1"
                       : policyHint ? "Не удалось подключиться к конечной точке. Возможно, неверная политика безопасности. "
                                      "Код ошибки %1"
                                    : "Не удалось подключиться к конечной точке. Код ошибки %1";
    Report(QString(text).arg(StatusName(status)), true);
    emit signalErrorConnect();
    DropClient();
    return retry ? kRetry : kFailed;
  }
  Report("Подключение успешно завершено.", false);
  m_Connected = true;
  m_FoundNodes.clear();
  if (browse) Browse(UA_NODEID_STRING(2, const_cast<char*>(kChannelsFolder)), 0);
  return kOk;
}

void OPCUAWrapper::Browse(const UA_NodeId& node, int depth) {
  if (depth >= kBrowseDepth) return;
  UA_BrowseRequest request;
  UA_BrowseRequest_init(&request);
  UA_BrowseDescription description;
  UA_BrowseDescription_init(&description);
  description.nodeId = node;
  description.browseDirection = UA_BROWSEDIRECTION_FORWARD;
  description.referenceTypeId = UA_NODEID_NUMERIC(0, UA_NS0ID_HIERARCHICALREFERENCES);
  description.includeSubtypes = true;
  description.resultMask = UA_BROWSERESULTMASK_ALL;
  request.nodesToBrowse = &description;
  request.nodesToBrowseSize = 1;
  UA_BrowseResponse response = UA_Client_Service_browse(m_Client, request);
  std::vector<UA_NodeId> children;
  for (size_t r = 0; r < response.resultsSize; ++r)
    for (size_t i = 0; i < response.results[r].referencesSize; ++i) {
      const UA_NodeId& target = response.results[r].references[i].nodeId.nodeId;
      if (target.identifierType != UA_NODEIDTYPE_STRING) continue;
      const QString id = Text(target.identifier.string);
      const QString text = QString("ns=%1;s=%2").arg(target.namespaceIndex).arg(id);
      if (m_FoundNodes.contains(text)) continue;
      emit signalSetLogDlgSearchDevice(QString("Найдена нода: %1 - %2").arg(id, text));
      m_FoundNodes << text;
      UA_NodeId copy;
      UA_NodeId_copy(&target, &copy);
      children.push_back(copy);
    }
  UA_BrowseResponse_clear(&response);
  for (UA_NodeId& child : children) {
    Browse(child, depth + 1);
    UA_NodeId_clear(&child);
  }
}

int OPCUAWrapper::Disconnect() {
  SetLoopRunFlag(false);
  const auto lock = Lock();
  if (m_Client == nullptr) {
    Report("Сервер недоступен, действие отменено", true);
    return kFailed;
  }
  if (!m_Connected) {
    Report("Ошибка отключения от сервера", true);
    return kFailed;
  }
  DropClient();
  emit signalErrorConnect();
  return kOk;
}

bool OPCUAWrapper::IsConnected() const { return m_Connected; }

QStringList OPCUAWrapper::FoundNodes() const {
  const auto lock = Lock();
  return m_FoundNodes;
}

bool OPCUAWrapper::CallMethod(const char* method, const QString& input) {
  const auto lock = Lock();
  if (m_Client == nullptr || !m_Connected) {
    LogWarning(QString("Ошибка вызова метода %1: нет подключения к серверу").arg(method));
    return false;
  }
  QByteArray bytes = input.toUtf8();
  if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0) bytes.truncate(nul);
  UA_String text{size_t(bytes.size()), reinterpret_cast<UA_Byte*>(bytes.data())};
  UA_Variant argument;
  UA_Variant_setScalar(&argument, &text, &UA_TYPES[UA_TYPES_STRING]);
  const QByteArray methodId = (QString(kChannelsFolder) + "." + method).toUtf8();
  size_t outputSize = 0;
  UA_Variant* output = nullptr;
  const UA_StatusCode status =
      UA_Client_call(m_Client, UA_NODEID_STRING(2, const_cast<char*>(kChannelsFolder)),
                     UA_NODEID_STRING(2, const_cast<char*>(methodId.constData())), 1, &argument, &outputSize, &output);
  QString answer;
  if (outputSize == 1 && UA_Variant_hasScalarType(&output[0], &UA_TYPES[UA_TYPES_STRING]))
    answer = Text(*static_cast<const UA_String*>(output[0].data));
  UA_Array_delete(output, outputSize, &UA_TYPES[UA_TYPES_VARIANT]);
  if (status != UA_STATUSCODE_GOOD) {
    LogWarning(QString("Ошибка вызова метода %1, код ошибки - %2").arg(method).arg(status));
    return false;
  }
  if (answer != "Success") {
    LogWarning(QString("Ошибка вызова метода %1: сервер ответил \"%2\"").arg(method, answer));
    return false;
  }
  LogInfo(QString("Вызов метода %1 успешно завершен").arg(method));
  return true;
}

bool OPCUAWrapper::AddNode(const QStringList& args) { return CallMethod("addNode", args.join(';')); }
bool OPCUAWrapper::EditNode(const QStringList& args) { return CallMethod("editNode", args.join(';')); }
bool OPCUAWrapper::DeleteNode(const QStringList& args) { return CallMethod("deleteNode", args.join(';')); }
bool OPCUAWrapper::StartExchange() { return CallMethod("startExchange", "emul"); }
bool OPCUAWrapper::StopExchange() { return CallMethod("stopExchange", "emul"); }

int OPCUAWrapper::CreateSubscriptions(const QList<QStringList>& groups, int intervalMs,
                                      Subscriptions& subscriptions) {
  const auto lock = Lock();
  int result = kOk;
  for (const QStringList& nodes : groups) {
    if (nodes.isEmpty()) continue;
    result = Subscribe(nodes, intervalMs);
    if (result != kOk) break;
    UA_Client_run_iterate(m_Client, kLoopIterationMs);
  }
  subscriptions = m_Subscriptions;
  return result;
}

int OPCUAWrapper::Subscribe(const QStringList& nodes, int intervalMs) {
  UA_StatusCode status = UA_STATUSCODE_BADNOTCONNECTED;
  if (m_Client != nullptr && m_Connected) {
    UA_CreateSubscriptionRequest request = UA_CreateSubscriptionRequest_default();
    request.requestedPublishingInterval = intervalMs;
    request.requestedLifetimeCount = 10000;
    request.requestedMaxKeepAliveCount = 10;
    request.maxNotificationsPerPublish = 0;  // no limit
    request.publishingEnabled = true;
    request.priority = 0;
    const UA_CreateSubscriptionResponse response =
        UA_Client_Subscriptions_create(m_Client, request, this, nullptr, nullptr);
    status = response.responseHeader.serviceResult;
    if (status == UA_STATUSCODE_GOOD) {
      // Known before its first notification, which may come with the items.
      m_Subscriptions.insert(response.subscriptionId, nodes);
      return Monitor(response.subscriptionId, nodes, intervalMs);
    }
  }
  LogWarning(QString("Не удалось создать запрос на подписку. Код ошибки %1").arg(StatusName(status)));
  return kFailed;
}

// Each item carries its position in `nodes` as context: the server numbers
// items its own way, so the item id says nothing about which tag it is.
int OPCUAWrapper::Monitor(UA_UInt32 subscription, const QStringList& nodes, int intervalMs) {
  const size_t count = size_t(nodes.size());
  std::vector<QByteArray> ids;
  std::vector<UA_MonitoredItemCreateRequest> items;
  std::vector<void*> contexts;
  for (const QString& node : nodes) {
    ids.push_back(node.toUtf8());
    UA_MonitoredItemCreateRequest item =
        UA_MonitoredItemCreateRequest_default(UA_NODEID_STRING(kTagNamespace, ids.back().data()));
    item.requestedParameters.samplingInterval = intervalMs;
    item.requestedParameters.queueSize = 1;
    item.requestedParameters.discardOldest = true;
    items.push_back(item);
    contexts.push_back(reinterpret_cast<void*>(std::uintptr_t(contexts.size())));
  }
  std::vector<UA_Client_DataChangeNotificationCallback> callbacks(count, &OPCUAWrapper::OnDataChange);
  std::vector<UA_Client_DeleteMonitoredItemCallback> deleted(count, nullptr);
  UA_CreateMonitoredItemsRequest request;
  UA_CreateMonitoredItemsRequest_init(&request);
  request.subscriptionId = subscription;
  request.timestampsToReturn = UA_TIMESTAMPSTORETURN_BOTH;
  request.itemsToCreate = items.data();
  request.itemsToCreateSize = count;
  UA_CreateMonitoredItemsResponse response = UA_Client_MonitoredItems_createDataChanges(
      m_Client, request, contexts.data(), callbacks.data(), deleted.data());
  bool failed = false;
  for (size_t i = 0; i < count; ++i) {
    UA_StatusCode status = response.responseHeader.serviceResult;
    if (status == UA_STATUSCODE_GOOD)
      status = i < response.resultsSize ? response.results[i].statusCode : UA_STATUSCODE_BADUNEXPECTEDERROR;
    if (status == UA_STATUSCODE_GOOD) continue;
    LogWarning(QString("Ошибка мониторинга ноды %1: %2").arg(nodes[qsizetype(i)], StatusName(status)));
    failed = true;
  }
  UA_CreateMonitoredItemsResponse_clear(&response);
  if (!failed) return kOk;
  LogWarning("Операция создания подписки прервана, возникли ошибки мониторинга");
  return kRetry;
}

int OPCUAWrapper::DeleteSubscriptions() {
  const auto lock = Lock();
  int result = kOk;
  for (auto it = m_Subscriptions.begin(); it != m_Subscriptions.end();) {
    const UA_StatusCode status = UA_Client_Subscriptions_deleteSingle(m_Client, it.key());
    if (status == UA_STATUSCODE_GOOD) {
      it = m_Subscriptions.erase(it);
      continue;
    }
    LogWarning(QString("Не удалось создать запрос на отмену подписки. Код ошибки %1").arg(StatusName(status)));
    result = kFailed;
    ++it;
  }
  return result;
}

// Runs inside the library's iteration, on whichever thread holds the client.
void OPCUAWrapper::OnDataChange(UA_Client*, UA_UInt32 subscription, void* wrapper, UA_UInt32 item,
                                void* position, UA_DataValue* value) {
  static_cast<OPCUAWrapper*>(wrapper)->DataChange(subscription, item,
                                                  qsizetype(reinterpret_cast<std::uintptr_t>(position)), *value);
}

void OPCUAWrapper::DataChange(UA_UInt32 subscription, UA_UInt32 item, qsizetype position, const UA_DataValue& value) {
  const std::lock_guard<std::recursive_mutex> lock(m_Lock);  // already ours: the iteration holds it
  const auto nodes = m_Subscriptions.constFind(subscription);
  if (nodes == m_Subscriptions.constEnd() || position >= nodes->size()) return;
  const QVariant received = ValueOf(value.value);
  if (!received.isValid()) {
    LogWarning("Поступил неизвестный тип ноды");
    return;
  }
  emit signalDataChange({int(item), received, StatusName(value.status), nodes->at(position), int(subscription)});
}

void OPCUAWrapper::SetLoopRunFlag(bool run) {
  m_LoopRun = run;
  if (run) return;
  const std::lock_guard<std::mutex> guard(m_LoopGuard);
  // The loop's own thread (a slot connected directly) cannot wait for itself.
  if (m_Loop.joinable() && m_Loop.get_id() != std::this_thread::get_id()) m_Loop.join();
}

void OPCUAWrapper::StartClientLoop() {
  const std::lock_guard<std::mutex> guard(m_LoopGuard);
  if (m_Loop.joinable()) {
    if (m_LoopRun) return;  // still running
    m_Loop.join();          // ended from its own thread
  }
  m_Loop = std::thread(&OPCUAWrapper::ClientLoop, this);
}

void OPCUAWrapper::ClientLoop() {
  while (m_LoopRun) {
    std::unique_lock<std::recursive_mutex> lock(m_Lock);
    const bool connected = Iterate(kLoopIterationMs);
    lock.unlock();
    if (!connected) std::this_thread::sleep_for(std::chrono::milliseconds(kLoopIterationMs));
    LetCallersIn();
  }
}

// A mutex is not fair: relocked at once, the loop could keep a caller out
// for as long as it runs.
void OPCUAWrapper::LetCallersIn() const {
  for (int round = 0; round < kStandAsideRounds && m_Waiting > 0; ++round) std::this_thread::sleep_for(kStandAsideStep);
}
