// Builds small configuration trees of the server's run-time items for the
// engine tests, and waits for the engine with bounded loops.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "channel.h"
#include "common/item.h"
#include "da_tag.h"
#include "device.h"
#include "global.h"
#include "group.h"
#include "loopback_listener.h"
#include "server_item_factory.h"
#include "status_values.h"

namespace virk::test {

template <typename T>
T* AddItem(CItem& parent, int32_t kind, const std::string& name) {
  CServerItemFactory factory;
  ItemPtr item = factory.Create(kind);
  item->SetName(name);
  T* typed = static_cast<T*>(item.get());
  return parent.AddChild(std::move(item)) ? typed : nullptr;
}

inline CChannel* AddTcpChannel(CTreeItemRoot& root, uint16_t port, int32_t protocol,
                               uint32_t responseTimeout = 500) {
  auto* channel = AddItem<CChannel>(root, kKindChannel, "Ch" + std::to_string(port));
  channel->m_Data.SetChannelType(kChannelTcp);
  channel->m_Data.m_Protocol = protocol;
  channel->m_Data.m_ResponseTimeout = responseTimeout;
  channel->m_Data.Tcp()->m_IpAddress = kLoopbackAddress;
  channel->m_Data.Tcp()->m_Port = port;
  channel->m_Data.Tcp()->m_ConnectTimeout = 1000;
  return channel;
}

inline CChannel* AddComChannel(CTreeItemRoot& root, uint32_t comPort, uint32_t baud,
                               int32_t protocol, uint32_t responseTimeout = 500) {
  auto* channel = AddItem<CChannel>(root, kKindChannel, "Com" + std::to_string(comPort));
  channel->m_Data.SetChannelType(kChannelCom);
  channel->m_Data.m_Protocol = protocol;
  channel->m_Data.m_ResponseTimeout = responseTimeout;
  channel->m_Data.Com()->m_PortNumber = comPort;
  channel->m_Data.Com()->m_BaudRate = baud;
  return channel;
}

inline CDevice* AddDevice(CChannel& channel, uint8_t unit, const std::string& name = "Dev") {
  auto* device = AddItem<CDevice>(channel, kKindDevice, name);
  device->m_Data.m_Addr = unit;
  return device;
}

inline CGroup* AddGroup(CDevice& device, uint32_t periodMs, const std::string& name = "G") {
  auto* group = AddItem<CGroup>(device, kKindGroup, name);
  group->m_Data.m_Period = periodMs;
  group->m_Data.m_PeriodUnit = kUnitMs;
  return group;
}

inline CDATag* AddTag(CGroup& group, const std::string& name, int32_t kind, uint16_t addr,
                      int32_t type, int32_t order = 1) {
  auto* tag = AddItem<CDATag>(group, kKindTag, name);
  tag->m_Data.m_RegKind = kind;
  tag->m_Data.m_Addr = addr;
  tag->m_Data.m_ValueType = type;
  tag->m_Data.m_ByteOrder = order;
  return tag;
}

// The tag's value as a Double (false when it holds no number) and its status.
inline bool TagNumber(const CBaseTag& tag, double& value, uint32_t& status) {
  UA_Variant variant;
  UA_Variant_init(&variant);
  tag.GetValue(variant, status);
  bool ok = UA_Variant_isScalar(&variant);
  if (ok) {
    const UA_DataType* type = variant.type;
    const void* data = variant.data;
    if (type == &UA_TYPES[UA_TYPES_DOUBLE]) value = *static_cast<const double*>(data);
    else if (type == &UA_TYPES[UA_TYPES_FLOAT]) value = *static_cast<const float*>(data);
    else if (type == &UA_TYPES[UA_TYPES_UINT16]) value = *static_cast<const uint16_t*>(data);
    else if (type == &UA_TYPES[UA_TYPES_INT16]) value = *static_cast<const int16_t*>(data);
    else if (type == &UA_TYPES[UA_TYPES_UINT32]) value = *static_cast<const uint32_t*>(data);
    else if (type == &UA_TYPES[UA_TYPES_INT32]) value = *static_cast<const int32_t*>(data);
    else if (type == &UA_TYPES[UA_TYPES_BYTE]) value = *static_cast<const uint8_t*>(data);
    else if (type == &UA_TYPES[UA_TYPES_BOOLEAN]) value = *static_cast<const bool*>(data);
    else ok = false;
  }
  UA_Variant_clear(&variant);
  return ok;
}

// Milliseconds since `since`.
inline long ElapsedMs(std::chrono::steady_clock::time_point since) {
  return long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count());
}

// Polls `condition` every 10 ms for at most `timeoutMs`.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

inline bool TagHas(const CBaseTag& tag, double expected, uint32_t expectedStatus = kStatusGood) {
  double value = 0;
  uint32_t status = 0;
  return TagNumber(tag, value, status) && value == expected && status == expectedStatus;
}

}  // namespace virk::test
