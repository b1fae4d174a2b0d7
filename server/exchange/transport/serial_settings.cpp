#include "serial_settings.h"

#include <cstdio>

#include "common/settings.h"

namespace virk::serial {
namespace {

char ParityLetter(uint8_t parity) {
  static constexpr char kLetters[] = "NOEMS";
  return parity < 5 ? kLetters[parity] : 'N';
}

}  // namespace

uint32_t InterCharTimeoutMs(uint32_t baudRate) {
  switch (baudRate) {
    case 300: return 300;
    case 600: return 160;
    case 1200: return 40;
    case 2400: return 20;
    case 4800:
    case 9600: return 10;
    case 19200:
    case 38400:
    case 57600:
    case 115200: return 5;
    case 128000:
    case 256000: return 2;
    default: return 300;
  }
}

std::string ModeText(const CPortIO_Data_COM& data) {
  char text[96];
  std::snprintf(text, sizeof text, "baud=%u data=%u parity=%c stop=%u", data.m_BaudRate,
                unsigned(data.m_DataBits), ParityLetter(data.m_Parity), unsigned(data.m_StopBits));
  return text;
}

bool LineSettingsValid(const CPortIO_Data_COM& data) {
  return data.m_DataBits >= 5 && data.m_DataBits <= 8 &&
         (data.m_StopBits == 1 || data.m_StopBits == 2) && data.m_BaudRate > 0;
}

}  // namespace virk::serial
