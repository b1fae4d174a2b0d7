// Small trees of the server's run-time items for the address-space tests.
#pragma once

#include <stdexcept>
#include <string>

#include "common/item.h"
#include "server/exchange/channel.h"
#include "server/exchange/da_tag.h"
#include "server/exchange/device.h"
#include "server/exchange/global.h"
#include "server/exchange/group.h"
#include "server/exchange/server_item_factory.h"

namespace virk::server::test {

template <typename T>
T& AddItem(CItem& parent, int32_t kind, const std::string& name) {
  ItemPtr item = CServerItemFactory().Create(kind);
  item->SetName(name);
  T& added = dynamic_cast<T&>(*item);
  if (!parent.AddChild(std::move(item))) throw std::logic_error("the test tree has two items named " + name);
  return added;
}

// A TCP channel to 127.0.0.1:`port` (time-out 100 ms, one attempt).
inline CChannel& AddTcpChannel(CItem& root, const std::string& name, uint16_t port) {
  auto& channel = AddItem<CChannel>(root, kKindChannel, name);
  channel.m_Data.SetChannelType(kChannelTcp);
  channel.m_Data.m_Protocol = kProtocolTcp;
  channel.m_Data.m_ResponseTimeout = 100;
  channel.m_Data.m_Attempts = 1;
  channel.m_Data.Tcp()->m_IpAddress = 0x0100007Fu;
  channel.m_Data.Tcp()->m_Port = port;
  channel.m_Data.Tcp()->m_ConnectTimeout = 200;
  return channel;
}

inline CDevice& AddDevice(CItem& channel, const std::string& name, bool emulated, uint8_t address = 1) {
  auto& device = AddItem<CDevice>(channel, kKindDevice, name);
  device.m_Data.m_Emulation = emulated;
  device.m_Data.m_Addr = address;
  return device;
}

inline CGroup& AddGroup(CItem& device, const std::string& name, uint32_t periodMs = 100) {
  auto& group = AddItem<CGroup>(device, kKindGroup, name);
  group.m_Data.m_Period = periodMs;
  return group;
}

inline CDATag& AddTag(CItem& group, const std::string& name, int32_t regKind, uint16_t address,
                      int32_t valueType = kTypeUInt16, bool read = true, bool write = true) {
  auto& tag = AddItem<CDATag>(group, kKindTag, name);
  tag.m_Data.m_RegKind = regKind;
  tag.m_Data.m_Addr = address;
  tag.m_Data.m_ValueType = valueType;
  tag.m_Data.m_Read = read;
  tag.m_Data.m_Write = write;
  tag.m_Data.m_ByteOrder = 0;
  return tag;
}

}  // namespace virk::server::test
