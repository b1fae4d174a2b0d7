#include "common/method_args.h"

#include <limits>

#include "common/enum_texts.h"
#include "common/item_data.h"
#include "common/number_text.h"
#include "common/text.h"

namespace virk {
namespace {

constexpr size_t kComChannelFields = 16;
constexpr size_t kTcpChannelFields = 11;
constexpr size_t kDeviceFields = 9;
constexpr size_t kGroupFields = 5;
constexpr size_t kTagFields = 16;

std::u16string Decimal(int64_t value) { return Utf8ToUtf16(std::to_string(value)); }

// Field texts turned into the texts the settings parsers read.
class FieldReader {
 public:
  explicit FieldReader(const MethodFields& fields) : m_Fields(fields) {}
  std::u16string Text(size_t n) const { return Utf8ToUtf16(m_Fields[n]); }
  std::u16string Number(size_t n) const { return Decimal(DecimalField(m_Fields[n])); }
  std::u16string Character(size_t n) const { return Decimal(CharacterCodedField(m_Fields[n])); }
  // A decimal code as the display text of its enumeration; empty (refused) outside it.
  std::u16string Code(size_t n, const EnumTexts& texts) const {
    return std::u16string(texts.Text(DecimalField(m_Fields[n])));
  }
  // A decimal flag (any non-zero value is 1) as the text of a two-entry list.
  std::u16string Flag(size_t n, const EnumTexts& texts = kYesNoTexts) const {
    return std::u16string(texts.Text(DecimalField(m_Fields[n]) != 0 ? 1 : 0));
  }
  // An unsigned 32-bit address (first dotted part in the lowest byte) as dotted text.
  std::u16string IpAddress(size_t n) const {
    const int64_t value = DecimalField(m_Fields[n]);
    if (value < 0 || value > std::numeric_limits<uint32_t>::max()) return u"";
    std::string dotted;
    for (int part = 0; part < 4; ++part)
      dotted += (part ? "." : "") + std::to_string((value >> (8 * part)) & 0xFF);
    return Utf8ToUtf16(dotted);
  }

 private:
  const MethodFields& m_Fields;
};

bool ApplyChannel(CChannelBase& channel, const FieldReader& f) {
  CChannelData data(channel);
  if (!data.SetName(f.Text(2)) || !data.SetChannelType(f.Code(3, kChannelTypeTexts)) ||
      !data.SetResponseTimeout(f.Number(4)) || !data.SetAttempts(f.Number(5)) || !data.SetPause(f.Number(6)) ||
      !data.SetProtocol(f.Code(7, kProtocolTexts)))
    return false;
  if (channel.m_Data.Tcp())
    return data.SetIpAddress(f.IpAddress(8)) && data.SetTcpPort(f.Number(9)) && data.SetConnectTimeout(f.Number(10));
  return data.SetComPort(f.Number(8)) && data.SetBaudRate(f.Number(9)) && data.SetDataBits(f.Number(10)) &&
         data.SetStopBits(f.Number(11)) && data.SetParity(f.Code(12, kParityTexts)) && data.SetEcho(f.Flag(13)) &&
         data.SetRtsControl(f.Code(14, kRtsControlTexts)) && data.SetDtrControl(f.Code(15, kDtrControlTexts));
}

bool ApplyDevice(CDeviceBase& device, const FieldReader& f) {
  CDeviceData data(device);
  return data.SetName(f.Text(2)) && data.SetAddress(f.Character(3)) && data.SetExchange(f.Flag(4)) &&
         data.SetEmulation(f.Flag(5)) && data.SetMaxRegsInReqv(f.Character(6)) &&
         data.SetMaxStatesInReqv(f.Character(7)) && data.SetFragment(f.Character(8));
}

bool ApplyGroup(CGroupBase& group, const FieldReader& f) {
  CGroupData data(group);
  // The unit first: the period's range depends on it.
  return data.SetName(f.Text(2)) && data.SetPeriodUnit(f.Code(4, kPeriodUnitTexts)) && data.SetPeriod(f.Number(3));
}

// Bit tags may arrive with the bit type 24, which has no display text and
// which the tag gets anyway.
bool SetTagValueType(CDATagData& data, const CTagBase& tag, int64_t valueType, const FieldReader& f) {
  if (tag.m_Data.IsBitKind() && valueType == kTypeBool) return true;
  return data.SetValueType(f.Code(5, kValueTypeTexts));
}

bool ApplyTag(CTagBase& tag, const MethodFields& fields, const FieldReader& f) {
  CDATagData data(tag);
  const int64_t valueType = DecimalField(fields[5]);
  // Fields 12 and 13 (and 14 and 15) repeat one kind; differing copies are a broken message.
  if (DecimalField(fields[12]) != DecimalField(fields[13]) || DecimalField(fields[14]) != DecimalField(fields[15]))
    return false;
  // Order matters: the register kind bounds the segment, the value type names the byte orders.
  return data.SetName(f.Text(2)) && data.SetRegisterKind(f.Code(3, kRegisterKindTexts)) &&
         data.SetAddress(f.Number(4)) && SetTagValueType(data, tag, valueType, f) &&
         data.SetByteOrder(std::u16string(ByteOrderTexts(tag.m_Data.m_ValueType).Text(DecimalField(fields[6])))) &&
         data.SetRead(f.Flag(7)) && data.SetWrite(f.Flag(8)) && data.SetWriteMode(f.Flag(9, kWriteModeTexts)) &&
         data.SetRegsInSegment(f.Number(10)) && data.SetPosInSegment(f.Number(11)) &&
         data.SetTransformKind(f.Code(12, kTransformTexts)) && data.SetEmulationKind(f.Code(14, kEmulationTexts));
}

}  // namespace

MethodFields SplitMethodArgument(const std::string& input) {
  MethodFields fields;
  size_t start = 0;
  for (size_t separator; (separator = input.find(';', start)) != std::string::npos; start = separator + 1)
    fields.push_back(input.substr(start, separator - start));
  if (start < input.size()) fields.push_back(input.substr(start));
  if (fields.size() == 8) fields.emplace_back();
  return fields;
}

int64_t DecimalField(const std::string& field) { return ReadInteger(Utf8ToUtf16(field)); }

uint32_t CharacterCodedField(const std::string& field) {
  const std::u16string text = Utf8ToUtf16(field);
  if (text.empty()) return 0;
  const char16_t first = text[0];
  if (first >= 0xD800 && first <= 0xDBFF && text.size() > 1 && text[1] >= 0xDC00 && text[1] <= 0xDFFF)
    return 0x10000 + ((uint32_t(first) - 0xD800) << 10) + (uint32_t(text[1]) - 0xDC00);
  return first;
}

size_t ExpectedFieldCount(const MethodFields& fields) {
  if (fields.size() < 2) return 0;
  switch (DecimalField(fields[1])) {
    case kKindChannel:
      if (fields.size() < 4) return 0;
      switch (DecimalField(fields[3])) {
        case kChannelCom:
          return kComChannelFields;
        case kChannelTcp:
          return kTcpChannelFields;
        default:
          return 0;
      }
    case kKindDevice:
      return kDeviceFields;
    case kKindGroup:
      return kGroupFields;
    case kKindTag:
      return kTagFields;
    default:
      return 0;
  }
}

bool ApplyItemFields(CItem& item, const MethodFields& fields) {
  const size_t expected = ExpectedFieldCount(fields);
  if (expected == 0 || fields.size() != expected || DecimalField(fields[1]) != item.Kind()) return false;
  const FieldReader reader(fields);
  if (auto* channel = dynamic_cast<CChannelBase*>(&item)) return ApplyChannel(*channel, reader);
  if (auto* device = dynamic_cast<CDeviceBase*>(&item)) return ApplyDevice(*device, reader);
  if (auto* group = dynamic_cast<CGroupBase*>(&item)) return ApplyGroup(*group, reader);
  if (auto* tag = dynamic_cast<CTagBase*>(&item)) return ApplyTag(*tag, fields, reader);
  return false;
}

namespace {

std::string Number(int64_t value) { return std::to_string(value); }

// The character with the value's code, UTF-8; zero travels as an empty field.
std::string CharacterCoded(uint32_t value) {
  if (value == 0) return {};
  std::u16string unit;
  if (value >= 0x10000) {
    unit += char16_t(0xD800 + ((value - 0x10000) >> 10));
    unit += char16_t(0xDC00 + ((value - 0x10000) & 0x3FF));
  } else {
    unit += char16_t(value);
  }
  return Utf16ToUtf8(unit);
}

MethodFields ChannelFields(const CChannelBase& channel) {
  const ChannelSettings& d = channel.m_Data;
  MethodFields fields = {channel.Name(),        Number(d.m_ChannelType), Number(d.m_ResponseTimeout),
                         Number(d.m_Attempts), Number(d.m_Pause),        Number(d.m_Protocol)};
  if (const auto* com = d.Com()) {
    for (const int64_t value : {int64_t(com->m_PortNumber), int64_t(com->m_BaudRate), int64_t(com->m_DataBits),
                                int64_t(com->m_StopBits), int64_t(com->m_Parity), int64_t(com->m_Echo),
                                int64_t(com->m_RtsControl), int64_t(com->m_DtrControl)})
      fields.push_back(Number(value));
  } else if (const auto* tcp = d.Tcp()) {
    fields.insert(fields.end(), {Number(tcp->m_IpAddress), Number(tcp->m_Port), Number(tcp->m_ConnectTimeout)});
  }
  return fields;
}

MethodFields DeviceFields(const CDeviceBase& device) {
  const DeviceSettings& d = device.m_Data;
  return {device.Name(),           CharacterCoded(d.m_Addr),          Number(d.m_Exchange),
          Number(d.m_Emulation),   CharacterCoded(d.m_MaxRegsInReqv), CharacterCoded(d.m_MaxStatesInReqv),
          CharacterCoded(d.m_dFragment)};
}

MethodFields GroupFields(const CGroupBase& group) {
  return {group.Name(), Number(group.m_Data.m_Period), Number(group.m_Data.m_PeriodUnit)};
}

// The address counted from 1; each kind twice, its parameters do not travel.
MethodFields TagFields(const CTagBase& tag) {
  const TagSettings& d = tag.m_Data;
  return {tag.Name(),
          Number(d.m_RegKind),
          Number(int64_t(d.m_Addr) + 1),
          Number(d.m_ValueType),
          Number(d.m_ByteOrder),
          Number(d.m_Read),
          Number(d.m_Write),
          Number(d.m_bWriteGroup),
          Number(d.m_RegsInSegment),
          Number(d.m_PosInSegment),
          Number(d.m_TransformKind),
          Number(d.m_TransformKind),
          Number(d.m_EmulKind),
          Number(d.m_EmulKind)};
}

}  // namespace

MethodFields ItemSettingsFields(const CItem& item) {
  if (const auto* channel = dynamic_cast<const CChannelBase*>(&item)) return ChannelFields(*channel);
  if (const auto* device = dynamic_cast<const CDeviceBase*>(&item)) return DeviceFields(*device);
  if (const auto* group = dynamic_cast<const CGroupBase*>(&item)) return GroupFields(*group);
  if (const auto* tag = dynamic_cast<const CTagBase*>(&item)) return TagFields(*tag);
  return {};
}

bool CopyItemSettings(CItem& to, const CItem& from) {
  if (to.Kind() != from.Kind()) return false;
  if (auto* channel = dynamic_cast<CChannelBase*>(&to)) {
    channel->m_Data = dynamic_cast<const CChannelBase&>(from).m_Data;
  } else if (auto* device = dynamic_cast<CDeviceBase*>(&to)) {
    device->m_Data = dynamic_cast<const CDeviceBase&>(from).m_Data;
  } else if (auto* group = dynamic_cast<CGroupBase*>(&to)) {
    group->m_Data = dynamic_cast<const CGroupBase&>(from).m_Data;
  } else if (auto* tag = dynamic_cast<CTagBase*>(&to)) {
    tag->m_Data = dynamic_cast<const CTagBase&>(from).m_Data;
  } else {
    return false;
  }
  return true;
}

}  // namespace virk
