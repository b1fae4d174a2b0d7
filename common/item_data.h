// Settings adapters: bound to one item, they parse one field text each into the
// item's settings and say whether the text was acceptable. The record parsers
// of the file and the configurator's dialogs share these rules.
#pragma once

#include <string_view>

#include "enum_texts.h"
#include "item.h"

namespace virk {

class CItemData {
 public:
  explicit CItemData(CItem& item) : m_Item(item) {}
  // Channel, device and tag names: 1..64 code units and no '.' (it joins full
  // names); group names are taken as they are. An attached item is renamed in
  // its parent, which fails when a sibling has the name.
  bool SetName(std::u16string_view text);

  // What the last refused text should have been, in words for the operator
  // ("целое число от 1 до 65535"); empty while nothing was refused.
  const std::string& Refusal() const { return m_Refusal; }

 protected:
  // Reads an integer field into `out` when it lies in lo..hi.
  template <typename T>
  bool SetInteger(std::u16string_view text, int64_t lo, int64_t hi, T& out);
  // Stores the code of a text of the list matched exactly.
  template <typename T>
  bool SetEnum(std::u16string_view text, const EnumTexts& texts, T& out);
  // Enumerations of numbers: the text must be one of the list; the number is stored.
  template <typename T>
  bool SetNumberEnum(std::u16string_view text, const EnumTexts& texts, T& out);
  // Keeps the reason and refuses.
  bool Refuse(std::string reason);

  CItem& m_Item;
  std::string m_Refusal;
};

class CChannelData : public CItemData {
 public:
  explicit CChannelData(CChannelBase& channel) : CItemData(channel), m_Data(channel.m_Data) {}
  bool SetChannelType(std::u16string_view text);  // creates the port record anew
  bool SetProtocol(std::u16string_view text);
  bool SetResponseTimeout(std::u16string_view text);
  bool SetAttempts(std::u16string_view text);
  bool SetPause(std::u16string_view text);
  // COM port fields; false on a TCP channel.
  bool SetComPort(std::u16string_view text);
  bool SetBaudRate(std::u16string_view text);
  bool SetDataBits(std::u16string_view text);
  bool SetStopBits(std::u16string_view text);
  bool SetParity(std::u16string_view text);
  bool SetEcho(std::u16string_view text);
  bool SetRtsControl(std::u16string_view text);
  bool SetDtrControl(std::u16string_view text);
  // TCP port fields; false on a COM channel.
  bool SetIpAddress(std::u16string_view text);
  bool SetTcpPort(std::u16string_view text);
  bool SetConnectTimeout(std::u16string_view text);

 private:
  bool ReadIpAddress(std::u16string_view text);
  ChannelSettings& m_Data;
};

class CDeviceData : public CItemData {
 public:
  explicit CDeviceData(CDeviceBase& device) : CItemData(device), m_Data(device.m_Data) {}
  bool SetAddress(std::u16string_view text);
  bool SetEmulation(std::u16string_view text);
  bool SetMaxRegsInReqv(std::u16string_view text);
  bool SetMaxStatesInReqv(std::u16string_view text);
  bool SetFragment(std::u16string_view text);
  bool SetExchange(std::u16string_view text);

 private:
  DeviceSettings& m_Data;
};

class CGroupData : public CItemData {
 public:
  explicit CGroupData(CGroupBase& group) : CItemData(group), m_Data(group.m_Data) {}
  bool SetPeriodUnit(std::u16string_view text);
  // Range by the unit already set: never more than one day.
  bool SetPeriod(std::u16string_view text);

 private:
  GroupSettings& m_Data;
};

class CDATagData : public CItemData {
 public:
  explicit CDATagData(CTagBase& tag) : CItemData(tag), m_Data(tag.m_Data) {}
  bool SetRegisterKind(std::u16string_view text);
  bool SetAddress(std::u16string_view text);  // counted from 1, kept zero-based
  bool SetRegsInSegment(std::u16string_view text);  // range by the register kind
  bool SetPosInSegment(std::u16string_view text);   // 0..RegsInSegment
  bool SetRead(std::u16string_view text);
  bool SetWrite(std::u16string_view text);
  bool SetWriteMode(std::u16string_view text);
  bool SetValueType(std::u16string_view text);
  // Any text: one not in the value type's list means no order (255).
  bool SetByteOrder(std::u16string_view text);
  bool SetTransformKind(std::u16string_view text);  // creates the record anew
  // Line scale: source limits must fit the tag's data type (read as integers).
  bool SetSourceMin(std::u16string_view text);
  bool SetSourceMax(std::u16string_view text);
  bool SetDestinationMin(std::u16string_view text);
  bool SetDestinationMax(std::u16string_view text);
  bool SetFactor(std::u16string_view text);  // -100000..100000, not 0
  bool SetEmulationKind(std::u16string_view text);  // creates the record anew
  // True when the emulation kind takes a parameter (constant, sine).
  bool EmulationHasParameter() const;
  // The constant (range of the tag's data type) or the sine period (1..60).
  bool SetEmulationParameter(std::u16string_view text);

 private:
  bool SetScaleLimit(std::u16string_view text, float CTransform_LineScaleData::*field,
                     bool checked);
  TagSettings& m_Data;
};

}  // namespace virk
