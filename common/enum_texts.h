// Display texts of the settings enumerations, as the file stores them and the
// configurator shows them. A code is the position of its text in the list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace virk {

class EnumTexts {
 public:
  template <size_t N>
  constexpr EnumTexts(const std::u16string_view (&texts)[N]) : m_Texts(texts), m_Count(N) {}

  size_t Count() const { return m_Count; }
  // The text of a code; empty for a code outside the list.
  std::u16string_view Text(int64_t code) const;
  // The code of a text matched exactly (case and spaces count); -1 when none.
  int32_t Find(std::u16string_view text) const;

 private:
  const std::u16string_view* m_Texts;
  size_t m_Count;
};

extern const EnumTexts kChannelTypeTexts;   // "COM-порт", "TCP-соединение"
extern const EnumTexts kProtocolTexts;      // "MODBUS RTU", ...
extern const EnumTexts kBaudRateTexts;      // numbers: "300" .. "256000"
extern const EnumTexts kDataBitsTexts;      // numbers: "7", "8"
extern const EnumTexts kStopBitsTexts;      // numbers: "1", "2"
extern const EnumTexts kParityTexts;        // "Нет", "Нечет", ...
extern const EnumTexts kYesNoTexts;         // "Нет", "Да"
extern const EnumTexts kRtsControlTexts;    // "Нет", "Включено", "Handshake", "Togge"
extern const EnumTexts kDtrControlTexts;    // "Нет", "Включено", "Handshake"
extern const EnumTexts kPeriodUnitTexts;    // "мс", "с", "мин.", "ч"
extern const EnumTexts kRegisterKindTexts;  // "Входное состояние", ...
extern const EnumTexts kWriteModeTexts;     // "Одиночная", "Групповая"
extern const EnumTexts kValueTypeTexts;     // "Вещ32" .. "Бит15" (codes 0..23)
extern const EnumTexts kTransformTexts;     // "Нет", "Линейная шкала", "Множитель"
extern const EnumTexts kEmulationTexts;     // "Константа", "Случайное число", "Синусоида"

// Number of 16-bit registers a value type occupies; 0 for an unknown code.
int RegisterCount(int32_t valueType);
// Byte-order names for the value type's size: 2, 4 or 8 bytes; a single
// empty name for sizes that have no order.
const EnumTexts& ByteOrderTexts(int32_t valueType);

}  // namespace virk
