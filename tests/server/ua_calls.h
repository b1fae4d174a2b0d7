// Client calls on the gateway's nodes by full name, for the tests.
#pragma once

#include <open62541/client_highlevel.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>

#include "opcua_client.h"

namespace virk::server::test {

constexpr UA_UInt16 kGatewayNamespace = 2;

// The node id points into the text, which must outlive its use; a literal
// always does, a temporary std::string does not.
inline UA_NodeId GatewayNode(const char* fullName) {
  return UA_NODEID_STRING(kGatewayNamespace, const_cast<char*>(fullName));
}
inline UA_NodeId GatewayNode(const std::string& fullName) { return GatewayNode(fullName.c_str()); }

// A DataValue that frees itself.
struct ReadResult {
  UA_StatusCode service = UA_STATUSCODE_BAD;
  UA_DataValue value;
  ReadResult() { UA_DataValue_init(&value); }
  ~ReadResult() { UA_DataValue_clear(&value); }
  ReadResult(const ReadResult&) = delete;
  ReadResult& operator=(const ReadResult&) = delete;
  template <typename T>
  T Scalar() const {
    return value.hasValue && value.value.type != nullptr && UA_Variant_isScalar(&value.value)
               ? *static_cast<const T*>(value.value.data)
               : T{};
  }
  const UA_DataType* Type() const { return value.hasValue ? value.value.type : nullptr; }
};

inline void Read(UA_Client* client, const std::string& fullName, UA_AttributeId attribute, ReadResult& out) {
  UA_ReadValueId item;
  UA_ReadValueId_init(&item);
  item.nodeId = GatewayNode(fullName);
  item.attributeId = attribute;
  UA_ReadRequest request;
  UA_ReadRequest_init(&request);
  request.nodesToRead = &item;
  request.nodesToReadSize = 1;
  request.timestampsToReturn = UA_TIMESTAMPSTORETURN_BOTH;
  UA_ReadResponse response = UA_Client_Service_read(client, request);
  out.service = response.responseHeader.serviceResult;
  if (out.service == UA_STATUSCODE_GOOD && response.resultsSize == 1) UA_DataValue_copy(&response.results[0], &out.value);
  UA_ReadResponse_clear(&response);
}

// Reads the value of `fullName` until it is Good, a Read call fails, or
// `attempts` reads 100 ms apart have passed; `out` holds the last read.
inline void ReadUntilGood(UA_Client* client, const std::string& fullName, ReadResult& out, int attempts = 100) {
  for (int i = 0; i < attempts; ++i) {
    UA_DataValue_clear(&out.value);
    Read(client, fullName, UA_ATTRIBUTEID_VALUE, out);
    if (out.service != UA_STATUSCODE_GOOD || out.value.status == UA_STATUSCODE_GOOD) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

template <typename T>
UA_StatusCode WriteScalar(UA_Client* client, const std::string& fullName, T value, const UA_DataType* type) {
  UA_Variant variant;
  UA_Variant_setScalar(&variant, &value, type);
  return UA_Client_writeValueAttribute(client, GatewayNode(fullName), &variant);
}

// Calls "Каналы.<method>" with one String; the service result and the output text.
inline std::pair<UA_StatusCode, std::string> CallMethod(UA_Client* client, const std::string& method,
                                                        const std::string& input) {
  const std::string methodName = std::string("Каналы.") + method;
  UA_String text = UA_STRING(const_cast<char*>(input.c_str()));
  UA_Variant argument;
  UA_Variant_setScalar(&argument, &text, &UA_TYPES[UA_TYPES_STRING]);
  size_t outputSize = 0;
  UA_Variant* output = nullptr;
  const UA_StatusCode status = UA_Client_call(client, GatewayNode("Каналы"), GatewayNode(methodName), 1, &argument,
                                              &outputSize, &output);
  std::string result;
  if (outputSize == 1 && UA_Variant_hasScalarType(&output[0], &UA_TYPES[UA_TYPES_STRING]))
    result = Text(*static_cast<UA_String*>(output[0].data));
  UA_Array_delete(output, outputSize, &UA_TYPES[UA_TYPES_VARIANT]);
  return {status, result};
}

inline bool Connect(OpcUaClient& client, const std::string& url) {
  return UA_Client_connect(client.get(), url.c_str()) == UA_STATUSCODE_GOOD;
}

}  // namespace virk::server::test
