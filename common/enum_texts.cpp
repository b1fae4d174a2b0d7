#include "enum_texts.h"

#include "settings.h"

namespace virk {
namespace {

using namespace std::string_view_literals;

constexpr std::u16string_view kChannelType[] = {u"COM-порт", u"TCP-соединение"};
constexpr std::u16string_view kProtocol[] = {u"MODBUS RTU", u"MODBUS ASCII", u"MODBUS TCP"};
constexpr std::u16string_view kBaudRate[] = {u"300",   u"600",    u"1200",   u"2400",  u"4800",
                                             u"9600",  u"14400",  u"19200",  u"38400", u"56000",
                                             u"57600", u"115200", u"128000", u"256000"};
constexpr std::u16string_view kDataBits[] = {u"7", u"8"};
constexpr std::u16string_view kStopBits[] = {u"1", u"2"};
constexpr std::u16string_view kParity[] = {u"Нет", u"Нечет", u"Чет", u"Маркер", u"Пробел"};
constexpr std::u16string_view kYesNo[] = {u"Нет", u"Да"};
constexpr std::u16string_view kRtsControl[] = {u"Нет", u"Включено", u"Handshake", u"Togge"};
constexpr std::u16string_view kDtrControl[] = {u"Нет", u"Включено", u"Handshake"};
constexpr std::u16string_view kPeriodUnit[] = {u"мс", u"с", u"мин.", u"ч"};
constexpr std::u16string_view kRegisterKind[] = {u"Входное состояние", u"Выходное состояние",
                                                 u"Входной регистр", u"Выходной регистр"};
constexpr std::u16string_view kWriteMode[] = {u"Одиночная", u"Групповая"};
constexpr std::u16string_view kValueType[] = {
    u"Вещ32", u"Вещ64",  u"Цел16",  u"Цел32",  u"Цел16(знак)", u"Цел32(знак)",
    u"Младший байт", u"Старший байт", u"Бит0", u"Бит1", u"Бит2", u"Бит3",
    u"Бит4",  u"Бит5",   u"Бит6",   u"Бит7",   u"Бит8",  u"Бит9",
    u"Бит10", u"Бит11",  u"Бит12",  u"Бит13",  u"Бит14", u"Бит15"};
constexpr std::u16string_view kTransform[] = {u"Нет", u"Линейная шкала", u"Множитель"};
constexpr std::u16string_view kEmulation[] = {u"Константа", u"Случайное число", u"Синусоида"};

constexpr std::u16string_view kOrderNone[] = {u""};
constexpr std::u16string_view kOrder2[] = {u"AB", u"BA"};
constexpr std::u16string_view kOrder4[] = {u"AB CD", u"CD AB", u"BA DC", u"DC BA"};
constexpr std::u16string_view kOrder8[] = {u"AB CD EF GH", u"GH EF CD AB", u"BA DC FE HG",
                                           u"HG FE DC BA"};
const EnumTexts kOrderNoneTexts(kOrderNone);
const EnumTexts kOrder2Texts(kOrder2);
const EnumTexts kOrder4Texts(kOrder4);
const EnumTexts kOrder8Texts(kOrder8);

}  // namespace

const EnumTexts kChannelTypeTexts(kChannelType);
const EnumTexts kProtocolTexts(kProtocol);
const EnumTexts kBaudRateTexts(kBaudRate);
const EnumTexts kDataBitsTexts(kDataBits);
const EnumTexts kStopBitsTexts(kStopBits);
const EnumTexts kParityTexts(kParity);
const EnumTexts kYesNoTexts(kYesNo);
const EnumTexts kRtsControlTexts(kRtsControl);
const EnumTexts kDtrControlTexts(kDtrControl);
const EnumTexts kPeriodUnitTexts(kPeriodUnit);
const EnumTexts kRegisterKindTexts(kRegisterKind);
const EnumTexts kWriteModeTexts(kWriteMode);
const EnumTexts kValueTypeTexts(kValueType);
const EnumTexts kTransformTexts(kTransform);
const EnumTexts kEmulationTexts(kEmulation);

std::u16string_view EnumTexts::Text(int64_t code) const {
  return code >= 0 && size_t(code) < m_Count ? m_Texts[code] : std::u16string_view();
}

int32_t EnumTexts::Find(std::u16string_view text) const {
  for (size_t i = 0; i < m_Count; ++i)
    if (m_Texts[i] == text) return int32_t(i);
  return -1;
}

int RegisterCount(int32_t valueType) {
  switch (valueType) {
    case kTypeFloat32:
    case kTypeUInt32:
    case kTypeInt32:
      return 2;
    case kTypeFloat64:
      return 4;
    default:
      return valueType >= kTypeUInt16 && valueType <= kTypeBool ? 1 : 0;
  }
}

const EnumTexts& ByteOrderTexts(int32_t valueType) {
  switch (RegisterCount(valueType)) {
    case 1:
      return kOrder2Texts;
    case 2:
      return kOrder4Texts;
    case 4:
      return kOrder8Texts;
    default:
      return kOrderNoneTexts;
  }
}

}  // namespace virk
