#include "server/methods.h"

#include <string>

#include "server/access_control.h"
#include "server/logging.h"

namespace virk::server {
namespace {

constexpr char kSuccess[] = "Success";
constexpr char kFailed[] = "Failed";

using Body = UA_StatusCode (ManagementMethods::*)(const std::string&, std::string&);

struct MethodDefinition {
  const char* name;
  const char* description;
  Body body;
};

const MethodDefinition kMethods[] = {
    {"startExchange", "Начать мониторинг", &ManagementMethods::StartExchange},
    {"stopExchange", "Остановить мониторинг", &ManagementMethods::StopExchange},
    {"addNode", "Добавить ноду", &ManagementMethods::AddNode},
    {"deleteNode", "Удалить ноду", &ManagementMethods::DeleteNode},
    {"editNode", "Изменить ноду", &ManagementMethods::EditNode},
};

// The method node's context is the ManagementMethods object; the body comes
// from the method's browse name, which the library hands over as its id.
void SetOutputText(UA_Variant& output, const std::string& text) {
  UA_String outputText = UA_STRING(const_cast<char*>(text.c_str()));
  UA_Variant_setScalarCopy(&output, &outputText, &UA_TYPES[UA_TYPES_STRING]);
}

UA_StatusCode CallMethod(UA_Server*, const UA_NodeId*, void* sessionContext, const UA_NodeId* methodId,
                         void* methodContext,
                         const UA_NodeId*, void*, size_t inputSize, const UA_Variant* input, size_t outputSize,
                         UA_Variant* output) {
  auto* methods = static_cast<ManagementMethods*>(methodContext);
  if (methods == nullptr || inputSize < 1 || outputSize < 1 || methodId->identifierType != UA_NODEIDTYPE_STRING ||
      !UA_Variant_hasScalarType(&input[0], &UA_TYPES[UA_TYPES_STRING]))
    return UA_STATUSCODE_BADINTERNALERROR;
  const UA_String& id = methodId->identifier.string;
  const std::string methodName(reinterpret_cast<const char*>(id.data), id.length);
  const auto* text = static_cast<const UA_String*>(input[0].data);
  const std::string argument(reinterpret_cast<const char*>(text->data), text->length);
  for (const MethodDefinition& method : kMethods) {
    if (methodName != std::string(kChannelsFolder) + "." + method.name) continue;
    if (IsReadOnlySession(sessionContext)) {
      ServerLog(UA_LOGLEVEL_WARNING, UA_LOGCATEGORY_SERVER,
                "%s refused: anonymous sessions may only browse, read and subscribe (%s = true)", method.name,
                kAnonymousReadOnlyKey);
      SetOutputText(output[0], kFailed);
      return UA_STATUSCODE_GOOD;
    }
    std::string result;
    const UA_StatusCode status = (methods->*method.body)(argument, result);
    if (status == UA_STATUSCODE_GOOD) SetOutputText(output[0], result);
    return status;
  }
  return UA_STATUSCODE_BADMETHODINVALID;
}

UA_Argument StringArgument(const char* name) {
  UA_Argument argument;
  UA_Argument_init(&argument);
  argument.name = UA_STRING(const_cast<char*>(name));
  argument.dataType = UA_TYPES[UA_TYPES_STRING].typeId;
  argument.valueRank = UA_VALUERANK_SCALAR;
  argument.description = UA_LOCALIZEDTEXT(const_cast<char*>("en-US"), const_cast<char*>("String"));
  return argument;
}

void LogCalled(const char* method) {
  ServerLog(UA_LOGLEVEL_INFO, UA_LOGCATEGORY_SERVER, "%s was called", method);
}

// An empty input is accepted and switches nothing.
template <typename Switch>
UA_StatusCode SwitchExchange(const std::string& input, const char* method, std::string& output, Switch doSwitch) {
  output = kSuccess;
  if (!input.empty()) doSwitch();
  LogCalled(method);
  return UA_STATUSCODE_GOOD;
}

// An empty input fails the call itself; otherwise the outcome is the output text.
template <typename Edit>
UA_StatusCode RunEdit(const std::string& input, const char* method, std::string& output, Edit edit) {
  if (input.empty()) {
    LogCalled(method);
    ServerLog(UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_SERVER, "No parametrs for method %s", method);
    return UA_STATUSCODE_BAD;
  }
  output = edit() ? kSuccess : kFailed;
  LogCalled(method);
  return UA_STATUSCODE_GOOD;
}

}  // namespace

bool ManagementMethods::CreateMethods() {
  const UA_Argument input = StringArgument("MyInput");
  const UA_Argument output = StringArgument("MyOutput");
  const std::string folderName = kChannelsFolder;
  bool failed = false;
  for (const MethodDefinition& method : kMethods) {
    const std::string fullName = folderName + "." + method.name;
    UA_MethodAttributes attributes = UA_MethodAttributes_default;
    attributes.displayName = UA_LOCALIZEDTEXT(const_cast<char*>("en-US"), const_cast<char*>(method.name));
    attributes.description = UA_LOCALIZEDTEXT(const_cast<char*>("ru-RU"), const_cast<char*>(method.description));
    attributes.executable = true;
    attributes.userExecutable = true;
    const UA_StatusCode status = UA_Server_addMethodNode(
        m_Callback.Server(), m_Callback.NodeId(fullName), m_Callback.NodeId(folderName),
        UA_NODEID_NUMERIC(0, UA_NS0ID_HASCOMPONENT), UA_QualifiedName{m_Callback.NamespaceIndex(),
                                                                        UA_STRING(const_cast<char*>(fullName.c_str()))},
        attributes, CallMethod, 1, &input, 1, &output, this, nullptr);
    if (status != UA_STATUSCODE_GOOD) {
      ServerLog(UA_LOGLEVEL_WARNING, UA_LOGCATEGORY_USERLAND, "Failed to add %s", fullName.c_str());
      failed = true;
    }
  }
  return !failed;
}

UA_StatusCode ManagementMethods::StartExchange(const std::string& input, std::string& output) {
  return SwitchExchange(input, "startExchange", output, [this] { m_Exchange.StartExchange(); });
}

UA_StatusCode ManagementMethods::StopExchange(const std::string& input, std::string& output) {
  return SwitchExchange(input, "stopExchange", output, [this] { m_Exchange.StopExchange(); });
}

UA_StatusCode ManagementMethods::AddNode(const std::string& input, std::string& output) {
  return RunEdit(input, "addNode", output, [&] { return m_Edits.CreateCItem(SplitMethodArgument(input)); });
}

UA_StatusCode ManagementMethods::DeleteNode(const std::string& input, std::string& output) {
  return RunEdit(input, "deleteNode", output, [&] { return m_Edits.DeleteItem(input); });
}

UA_StatusCode ManagementMethods::EditNode(const std::string& input, std::string& output) {
  return RunEdit(input, "editNode", output, [&] { return m_Edits.EditCItem(SplitMethodArgument(input)); });
}

}  // namespace virk::server
