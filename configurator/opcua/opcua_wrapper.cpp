#include "opcua/opcua_wrapper.h"

#include <open62541/client_config_default.h>
#include <open62541/client_highlevel.h>
#include <openssl/x509v3.h>

#include <QDirIterator>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/app_log.h"

namespace {

constexpr char kApplicationUri[] = "urn:virkopcua.server.application";
constexpr char kOwnUri[] = "urn:open62541.server.application";
constexpr char kChannelsFolder[] = "Каналы";
constexpr int kBrowseDepth = 8;  // channels, devices, groups, tags and their variables

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
  if (!lock.owns_lock() || m_Client == nullptr || !m_Connected) return;
  // The library takes a receive of nothing (the server closed) for "try
  // again" when errno still holds an EAGAIN of an earlier call, and then
  // never looks at the socket again (measured: 2 of 8 killed servers went
  // unnoticed); a clean errno lets it see the end. Calls of the library
  // that wait for an answer have no such gap.
  errno = 0;
  UA_Client_run_iterate(m_Client, 0);
  UA_SecureChannelState channel = UA_SECURECHANNELSTATE_CLOSED;
  UA_SessionState session = UA_SESSIONSTATE_CLOSED;
  UA_StatusCode status = UA_STATUSCODE_GOOD;
  UA_Client_getState(m_Client, &channel, &session, &status);
  if (channel == UA_SECURECHANNELSTATE_OPEN && session == UA_SESSIONSTATE_ACTIVATED) return;
  DropClient();
  Report(QString("Соединение с сервером потеряно. Код ошибки %1")
             .arg(StatusName(status == UA_STATUSCODE_GOOD ? UA_STATUSCODE_BADCONNECTIONCLOSED : status)),
         true);
  emit signalErrorConnect();
}

OPCUAWrapper::~OPCUAWrapper() {
  std::lock_guard<std::recursive_mutex> lock(m_Lock);
  DropClient();
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
}

int OPCUAWrapper::FindServers(const QString& url) {
  std::lock_guard<std::recursive_mutex> lock(m_Lock);
  NewClient();
  size_t size = 0;
  UA_ApplicationDescription* servers = nullptr;
  const UA_StatusCode status =
      UA_Client_findServers(m_Client, url.toUtf8().constData(), 0, nullptr, 0, nullptr, &size, &servers);
  if (status != UA_STATUSCODE_GOOD) {
    Report(QString("Не удалось найти сервер. Обнаружение сервера включено? Код ошибки %1").arg(StatusName(status)),
           true);
    emit signalErrorConnect();
    return kFailed;
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
  std::lock_guard<std::recursive_mutex> lock(m_Lock);
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
  std::lock_guard<std::recursive_mutex> lock(m_Lock);
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
  std::lock_guard<std::recursive_mutex> lock(m_Lock);
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
    const bool policyHint = status == UA_STATUSCODE_BADINTERNALERROR || status == UA_STATUSCODE_BADIDENTITYTOKENREJECTED;
    Report(QString(policyHint ? "Не удалось подключиться к конечной точке. Возможно, неверная политика безопасности. "
                                "Код ошибки %1"
                              : "Не удалось подключиться к конечной точке. Код ошибки %1")
               .arg(StatusName(status)),
           true);
    emit signalErrorConnect();
    DropClient();
    return kFailed;
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
  std::lock_guard<std::recursive_mutex> lock(m_Lock);
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
  std::lock_guard<std::recursive_mutex> lock(m_Lock);
  return m_FoundNodes;
}

bool OPCUAWrapper::CallMethod(const char* method, const QString& input) {
  std::lock_guard<std::recursive_mutex> lock(m_Lock);
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
