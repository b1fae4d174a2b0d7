#include "item_data.h"

#include <cmath>

#include "enum_texts.h"
#include "number_text.h"
#include "text.h"

namespace virk {
namespace {

constexpr size_t kMaxNameUnits = 64;

// Limits of a tag's data type for constants and scale sources; `integer` says
// whether the text is read as an integer.
struct TypeRange {
  double lo, hi;
  bool integer;
};

TypeRange RangeOfTag(const TagSettings& tag) {
  constexpr TypeRange kBoolean{0, 1, true};
  // Double has no range of its own: it takes the Float range.
  constexpr TypeRange kReal{-10000000, 10000000, false};
  if (tag.IsBitKind()) return kBoolean;
  switch (tag.m_ValueType) {
    case kTypeUInt16:
      return {0, 65535, true};
    case kTypeUInt32:
      return {-1000000000, 1000000000, true};
    case kTypeInt16:
      return {-32768, 32767, true};
    case kTypeInt32:
      return {-2147483648.0, 2147483647, true};
    case kTypeLowByte:
    case kTypeHighByte:
      return {0, 255, true};
    default:
      return tag.m_ValueType >= kTypeBit0 && tag.m_ValueType <= kTypeBit15 ? kBoolean : kReal;
  }
}

bool InRange(double value, const TypeRange& range) {
  return value >= range.lo && value <= range.hi;
}

// A value of an integer type is checked as an integer, and so is the whole
// part of the real that is stored: "1e3" reads as the integer 1 but is kept
// as 1000, which is written back as "1000" and would then be refused.
bool TextInRange(std::u16string_view text, const TypeRange& range) {
  if (!range.integer) return InRange(ReadReal(text), range);
  return InRange(double(ReadInteger(text)), range) && InRange(std::trunc(ReadReal(text)), range);
}

std::string Number(double value) { return FormatReal(value); }

std::string IntegerRange(int64_t lo, int64_t hi) {
  return "целое число от " + std::to_string(lo) + " до " + std::to_string(hi);
}

std::string RangeText(const TypeRange& range) {
  return range.integer ? IntegerRange(int64_t(range.lo), int64_t(range.hi))
                       : "число от " + Number(range.lo) + " до " + Number(range.hi);
}

std::string ListText(const EnumTexts& texts) {
  std::string list;
  for (size_t i = 0; i < texts.Count(); ++i)
    list += (i ? ", «" : "«") + Utf16ToUtf8(std::u16string(texts.Text(int64_t(i)))) + "»";
  return "одно из значений " + list;
}

}  // namespace

bool CItemData::Refuse(std::string reason) {
  m_Refusal = std::move(reason);
  return false;
}

template <typename T>
bool CItemData::SetInteger(std::u16string_view text, int64_t lo, int64_t hi, T& out) {
  const int64_t value = ReadInteger(text);
  if (value < lo || value > hi) return Refuse(IntegerRange(lo, hi));
  out = static_cast<T>(value);
  return true;
}

template <typename T>
bool CItemData::SetEnum(std::u16string_view text, const EnumTexts& texts, T& out) {
  const int32_t code = texts.Find(text);
  if (code < 0) return Refuse(ListText(texts));
  out = static_cast<T>(code);
  return true;
}

template <typename T>
bool CItemData::SetNumberEnum(std::u16string_view text, const EnumTexts& texts, T& out) {
  if (texts.Find(text) < 0) return Refuse(ListText(texts));
  out = static_cast<T>(ReadInteger(text));
  return true;
}

bool CItemData::SetName(std::u16string_view text) {
  if (m_Item.Kind() != kKindGroup &&
      (text.empty() || text.size() > kMaxNameUnits || text.find(u'.') != text.npos))
    return Refuse("от 1 до 64 символов, без точки");
  std::string name = Utf16ToUtf8(std::u16string(text));
  if (m_Item.Parent()) return m_Item.Rename(name) || Refuse("имя, которого нет у соседних элементов");
  m_Item.SetName(std::move(name));
  return true;
}

bool CChannelData::SetChannelType(std::u16string_view text) {
  const int32_t type = kChannelTypeTexts.Find(text);
  if (type < 0) return Refuse(ListText(kChannelTypeTexts));
  m_Data.SetChannelType(type);
  return true;
}

bool CChannelData::SetProtocol(std::u16string_view text) {
  return SetEnum(text, kProtocolTexts, m_Data.m_Protocol);
}
bool CChannelData::SetResponseTimeout(std::u16string_view text) {
  return SetInteger(text, 20, 60000, m_Data.m_ResponseTimeout);
}
bool CChannelData::SetAttempts(std::u16string_view text) {
  return SetInteger(text, 1, 20, m_Data.m_Attempts);
}
bool CChannelData::SetPause(std::u16string_view text) {
  return SetInteger(text, 0, 10000, m_Data.m_Pause);
}

bool CChannelData::SetComPort(std::u16string_view text) {
  return m_Data.Com() && SetInteger(text, 0, 1000, m_Data.Com()->m_PortNumber);
}
bool CChannelData::SetBaudRate(std::u16string_view text) {
  return m_Data.Com() && SetNumberEnum(text, kBaudRateTexts, m_Data.Com()->m_BaudRate);
}
bool CChannelData::SetDataBits(std::u16string_view text) {
  return m_Data.Com() && SetNumberEnum(text, kDataBitsTexts, m_Data.Com()->m_DataBits);
}
bool CChannelData::SetStopBits(std::u16string_view text) {
  return m_Data.Com() && SetNumberEnum(text, kStopBitsTexts, m_Data.Com()->m_StopBits);
}
bool CChannelData::SetParity(std::u16string_view text) {
  return m_Data.Com() && SetEnum(text, kParityTexts, m_Data.Com()->m_Parity);
}
bool CChannelData::SetEcho(std::u16string_view text) {
  return m_Data.Com() && SetEnum(text, kYesNoTexts, m_Data.Com()->m_Echo);
}
bool CChannelData::SetRtsControl(std::u16string_view text) {
  return m_Data.Com() && SetEnum(text, kRtsControlTexts, m_Data.Com()->m_RtsControl);
}
bool CChannelData::SetDtrControl(std::u16string_view text) {
  return m_Data.Com() && SetEnum(text, kDtrControlTexts, m_Data.Com()->m_DtrControl);
}

bool CChannelData::SetIpAddress(std::u16string_view text) {
  return m_Data.Tcp() &&
         (ReadIpAddress(text) || Refuse("четыре числа от 0 до 255 через точку, например 192.168.0.10"));
}

bool CChannelData::ReadIpAddress(std::u16string_view text) {
  // Exactly four decimal parts of 0..255; the first part is the lowest byte.
  uint32_t address = 0;
  size_t pos = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != u'.') return false;
      ++pos;
    }
    uint32_t value = 0;
    size_t digits = 0;
    for (; pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9' && digits < 4; ++digits)
      value = value * 10 + (text[pos++] - u'0');
    if (digits == 0 || digits > 3 || value > 255) return false;
    address |= value << (8 * part);
  }
  if (pos != text.size()) return false;
  m_Data.Tcp()->m_IpAddress = address;
  return true;
}
bool CChannelData::SetTcpPort(std::u16string_view text) {
  return m_Data.Tcp() && SetInteger(text, 1, 65535, m_Data.Tcp()->m_Port);
}
bool CChannelData::SetConnectTimeout(std::u16string_view text) {
  return m_Data.Tcp() && SetInteger(text, 20, 120000, m_Data.Tcp()->m_ConnectTimeout);
}

bool CDeviceData::SetAddress(std::u16string_view text) {
  return SetInteger(text, 0, 255, m_Data.m_Addr);
}
bool CDeviceData::SetEmulation(std::u16string_view text) {
  return SetEnum(text, kYesNoTexts, m_Data.m_Emulation);
}
bool CDeviceData::SetMaxRegsInReqv(std::u16string_view text) {
  return SetInteger(text, 1, 125, m_Data.m_MaxRegsInReqv);
}
bool CDeviceData::SetMaxStatesInReqv(std::u16string_view text) {
  return SetInteger(text, 1, 2000, m_Data.m_MaxStatesInReqv);
}
bool CDeviceData::SetFragment(std::u16string_view text) {
  return SetInteger(text, 0, 123, m_Data.m_dFragment);
}
bool CDeviceData::SetExchange(std::u16string_view text) {
  return SetEnum(text, kYesNoTexts, m_Data.m_Exchange);
}

bool CGroupData::SetPeriodUnit(std::u16string_view text) {
  return SetEnum(text, kPeriodUnitTexts, m_Data.m_PeriodUnit);
}
bool CGroupData::SetPeriod(std::u16string_view text) {
  static constexpr int64_t kDayInUnit[] = {86400000, 86400, 1440, 24};
  const int unit = m_Data.m_PeriodUnit >= kUnitMs && m_Data.m_PeriodUnit <= kUnitHour
                       ? m_Data.m_PeriodUnit
                       : kUnitMs;
  return SetInteger(text, 0, kDayInUnit[unit], m_Data.m_Period);
}

bool CDATagData::SetRegisterKind(std::u16string_view text) {
  return SetEnum(text, kRegisterKindTexts, m_Data.m_RegKind);
}
bool CDATagData::SetAddress(std::u16string_view text) {
  uint32_t address = 0;
  if (!SetInteger(text, 1, 65535, address)) return false;
  m_Data.m_Addr = static_cast<uint16_t>(address - 1);
  return true;
}
bool CDATagData::SetRegsInSegment(std::u16string_view text) {
  return SetInteger(text, 0, m_Data.IsBitKind() ? 2000 : 123, m_Data.m_RegsInSegment);
}
bool CDATagData::SetPosInSegment(std::u16string_view text) {
  return SetInteger(text, 0, m_Data.m_RegsInSegment, m_Data.m_PosInSegment);
}
bool CDATagData::SetRead(std::u16string_view text) {
  return SetEnum(text, kYesNoTexts, m_Data.m_Read);
}
bool CDATagData::SetWrite(std::u16string_view text) {
  return SetEnum(text, kYesNoTexts, m_Data.m_Write);
}
bool CDATagData::SetWriteMode(std::u16string_view text) {
  return SetEnum(text, kWriteModeTexts, m_Data.m_bWriteGroup);
}
bool CDATagData::SetValueType(std::u16string_view text) {
  return SetEnum(text, kValueTypeTexts, m_Data.m_ValueType);
}
bool CDATagData::SetByteOrder(std::u16string_view text) {
  const int32_t order = ByteOrderTexts(m_Data.m_ValueType).Find(text);
  m_Data.m_ByteOrder = order < 0 || text.empty() ? kByteOrderNone : order;
  return true;
}

bool CDATagData::SetTransformKind(std::u16string_view text) {
  const int32_t kind = kTransformTexts.Find(text);
  if (kind < 0) return Refuse(ListText(kTransformTexts));
  m_Data.SetTransformKind(kind);
  return true;
}

bool CDATagData::SetScaleLimit(std::u16string_view text, float CTransform_LineScaleData::*field,
                               bool checked) {
  auto* scale = std::get_if<CTransform_LineScaleData>(&m_Data.m_Transform);
  if (!scale) return false;
  if (checked) {
    const TypeRange range = RangeOfTag(m_Data);
    if (!TextInRange(text, range))
      return Refuse(IntegerRange(int64_t(range.lo), int64_t(range.hi)));
  }
  scale->*field = static_cast<float>(ReadReal(text));
  return true;
}

bool CDATagData::SetSourceMin(std::u16string_view text) {
  return SetScaleLimit(text, &CTransform_LineScaleData::m_SrcMin, true);
}
bool CDATagData::SetSourceMax(std::u16string_view text) {
  return SetScaleLimit(text, &CTransform_LineScaleData::m_SrcMax, true);
}
bool CDATagData::SetDestinationMin(std::u16string_view text) {
  return SetScaleLimit(text, &CTransform_LineScaleData::m_DstMin, false);
}
bool CDATagData::SetDestinationMax(std::u16string_view text) {
  return SetScaleLimit(text, &CTransform_LineScaleData::m_DstMax, false);
}

bool CDATagData::SetFactor(std::u16string_view text) {
  auto* factor = std::get_if<CTransform_FactorData>(&m_Data.m_Transform);
  if (!factor) return false;
  const double value = ReadReal(text);
  if (value < -100000 || value > 100000 || value == 0)
    return Refuse("число от -100000 до 100000, кроме 0");
  factor->m_Factor = static_cast<float>(value);
  return true;
}

bool CDATagData::SetEmulationKind(std::u16string_view text) {
  const int32_t kind = kEmulationTexts.Find(text);
  if (kind < 0) return Refuse(ListText(kEmulationTexts));
  m_Data.SetEmulKind(kind);
  return true;
}

bool CDATagData::EmulationHasParameter() const {
  return m_Data.m_EmulKind == kEmulConst || m_Data.m_EmulKind == kEmulSin;
}

bool CDATagData::SetEmulationParameter(std::u16string_view text) {
  if (auto* sine = std::get_if<CEmulData_Sin>(&m_Data.m_Emul))
    return SetInteger(text, 1, 60, sine->m_Period);
  auto* constant = std::get_if<CEmulData_Const>(&m_Data.m_Emul);
  if (!constant) return false;
  const TypeRange range = RangeOfTag(m_Data);
  if (!TextInRange(text, range)) return Refuse(RangeText(range));
  constant->m_Value = ReadReal(text);
  return true;
}

}  // namespace virk
