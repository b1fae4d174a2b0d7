// Property rows of the "Свойства" tab and of the tag table.
#include "common/enum_texts.h"
#include "model/ip_text.h"
#include "model/item_info.h"

using namespace virk;

namespace {

QString Text(const EnumTexts& texts, int64_t code) {
  const std::u16string_view text = texts.Text(code);
  return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

QString Number(int64_t value) { return QString::number(value); }

int TagCount(const CItem& device) {
  int count = 0;
  for (const auto& [name, group] : device.Children()) count += int(group->Children().size());
  return count;
}

}  // namespace

PropertyRows CChannelInfo::Properties() const {
  const ChannelSettings& d = m_Data;
  PropertyRows rows = {{"Имя", ItemName(*this)},
                       {"Тип канала", Text(kChannelTypeTexts, d.m_ChannelType)},
                       {"Тип протокола", Text(kProtocolTexts, d.m_Protocol)},
                       {"Таймаут ожидания ответа (мс)", Number(d.m_ResponseTimeout)},
                       {"Кол-во попыток", Number(d.m_Attempts)},
                       {"Пауза перед запросом (мс)", Number(d.m_Pause)}};
  if (const auto* com = d.Com()) {
    rows += {{"COM-порт", Number(com->m_PortNumber)},
             {"Скорость обмена", Number(com->m_BaudRate)},
             {"Количество бит данных", Number(com->m_DataBits)},
             {"Количество стоп-бит данных", Number(com->m_StopBits)},
             {"Контроль чётности", Text(kParityTexts, com->m_Parity)},
             {"Наличие эха", Text(kYesNoTexts, com->m_Echo)},
             {"Управление RTS", Text(kRtsControlTexts, com->m_RtsControl)},
             {"Управление DTR", Text(kDtrControlTexts, com->m_DtrControl)}};
  } else if (const auto* tcp = d.Tcp()) {
    rows += {{"IP-адрес", IpText(tcp->m_IpAddress)},
             {"TCP-порт", Number(tcp->m_Port)},
             {"Таймаут установки соединения (мс)", Number(tcp->m_ConnectTimeout)}};
  }
  // The gap sets the long COM list apart from the count; the short TCP list needs none.
  if (d.Com()) rows += {QString(), QString()};
  rows += {"Кол-во устройств", Number(int64_t(Children().size()))};
  return rows;
}

PropertyRows CDeviceInfo::Properties() const {
  const DeviceSettings& d = m_Data;
  return {{"Имя", ItemName(*this)},
          {"Адрес Modbus", Number(d.m_Addr)},
          {"Обмен с устройством", Text(kYesNoTexts, d.m_Exchange)},
          {"Эмуляция", Text(kYesNoTexts, d.m_Emulation)},
          {"Макс. кол-во регистров в запросе", Number(d.m_MaxRegsInReqv)},
          {"Макс. кол-во состояний в запросе", Number(d.m_MaxStatesInReqv)},
          {"Макс. допустимая фрагментация", Number(d.m_dFragment)},
          {"Кол-во групп", Number(int64_t(Children().size()))},
          {"Кол-во тегов", Number(TagCount(*this))}};
}

PropertyRows CGroupInfo::Properties() const {
  static const char* const kUnits[] = {"(мс)", "(с)", "(мин)", "(ч)"};
  const GroupSettings& d = m_Data;
  const QString unit = d.m_PeriodUnit >= 0 && d.m_PeriodUnit <= 3 ? kUnits[d.m_PeriodUnit] : "";
  return {{"Имя", ItemName(*this)},
          {"Период опроса " + unit, Number(d.m_Period)},
          {"Кол-во тегов", Number(int64_t(Children().size()))}};
}

namespace {

const char* const kTagPropertyNames[] = {
    "Имя",          "Тип регистра", "Адрес",           "Чтение",
    "Запись",       "Режим записи", "Тип значения",    "Порядок байт",
    "Размер сегмента", "Смещение в сегменте", "Тип преобразования", "Тип эмуляции"};

}  // namespace

namespace {

bool Writable(const virk::TagSettings& tag) { return tag.m_RegKind == virk::kRegCoil || tag.m_RegKind == virk::kRegHolding; }

}  // namespace

QString CDATagInfo::PropertyValue(int n) const {
  const TagSettings& d = m_Data;
  switch (n) {
    case 0: return ItemName(*this);
    case 1: return Text(kRegisterKindTexts, d.m_RegKind);
    case 2: return Number(d.m_Addr + 1);  // the operator counts registers from 1
    case 3: return Text(kYesNoTexts, d.m_Read);
    // Inputs cannot be written, and the file keeps their write fields empty.
    case 4: return Writable(d) ? Text(kYesNoTexts, d.m_Write) : QString();
    case 5: return Writable(d) ? Text(kWriteModeTexts, d.m_bWriteGroup) : QString();
    case 6: return Text(kValueTypeTexts, d.m_ValueType);
    case 7: return Text(ByteOrderTexts(d.m_ValueType), d.m_ByteOrder);
    case 8: return Number(d.m_RegsInSegment);
    case 9: return Number(d.m_PosInSegment);
    case 10: return Text(kTransformTexts, d.m_TransformKind);
    case 11: return Text(kEmulationTexts, d.m_EmulKind);
    default: return QString();
  }
}

PropertyRows CDATagInfo::Properties() const {
  PropertyRows rows;
  for (int n = 0; n < int(std::size(kTagPropertyNames)); ++n)
    rows.push_back({kTagPropertyNames[n], PropertyValue(n)});
  return rows;
}
