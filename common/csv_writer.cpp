#include "csv_writer.h"

#include "csv_text.h"
#include "enum_texts.h"
#include "number_text.h"
#include "text.h"

namespace virk {
namespace {

// Builds one line field by field; every field is preceded by ';'.
class LineWriter {
 public:
  explicit LineWriter(std::u16string& out) : m_Out(out) {}
  LineWriter& Text(std::u16string_view text) {
    m_Out.push_back(u';');
    m_Out.append(text);
    return *this;
  }
  LineWriter& Name(const std::string& utf8) { return Text(Utf8ToUtf16(utf8)); }
  LineWriter& Ascii(const std::string& text) { return Text(std::u16string(text.begin(), text.end())); }
  LineWriter& Number(int64_t value) { return Ascii(std::to_string(value)); }
  LineWriter& Enum(const EnumTexts& texts, int64_t code) { return Text(texts.Text(code)); }
  LineWriter& Empty() { return Text(std::u16string_view()); }
  void End() { m_Out.push_back(u'\n'); }

 private:
  std::u16string& m_Out;
};

// Keyword followed by the field numbers 1..count.
void Header(std::u16string& out, std::u16string_view keyword, int count) {
  out.append(keyword);
  LineWriter line(out);
  for (int n = 1; n <= count; ++n) line.Number(n);
  line.End();
}

std::string IpText(uint32_t address) {
  std::string text;
  for (int part = 0; part < 4; ++part) {
    if (part) text.push_back('.');
    text += std::to_string((address >> (8 * part)) & 0xFF);
  }
  return text;
}

void WriteChannel(std::u16string& out, const CChannelBase& channel) {
  const ChannelSettings& s = channel.m_Data;
  LineWriter line(out);
  line.Name(channel.Name())
      .Enum(kChannelTypeTexts, s.m_ChannelType)
      .Enum(kProtocolTexts, s.m_Protocol)
      .Number(s.m_ResponseTimeout)
      .Number(s.m_Attempts)
      .Number(s.m_Pause);
  if (const CPortIO_Data_COM* com = s.Com()) {
    line.Number(com->m_PortNumber)
        .Number(com->m_BaudRate)
        .Number(com->m_DataBits)
        .Number(com->m_StopBits)
        .Enum(kParityTexts, com->m_Parity)
        .Enum(kYesNoTexts, com->m_Echo)
        .Enum(kRtsControlTexts, com->m_RtsControl)
        .Enum(kDtrControlTexts, com->m_DtrControl);
  } else if (const CPortIO_Data_TCP* tcp = s.Tcp()) {
    line.Ascii(IpText(tcp->m_IpAddress)).Number(tcp->m_Port).Number(tcp->m_ConnectTimeout);
  }
  line.End();
}

void WriteDevice(std::u16string& out, const CDeviceBase& device) {
  const DeviceSettings& s = device.m_Data;
  LineWriter(out)
      .Name(device.Name())
      .Number(s.m_Addr)
      .Enum(kYesNoTexts, s.m_Emulation)
      .Number(s.m_MaxRegsInReqv)
      .Number(s.m_MaxStatesInReqv)
      .Number(s.m_dFragment)
      .Enum(kYesNoTexts, s.m_Exchange)
      .End();
}

void WriteGroup(std::u16string& out, const CGroupBase& group) {
  LineWriter(out)
      .Name(group.Name())
      .Number(group.m_Data.m_Period)
      .Enum(kPeriodUnitTexts, group.m_Data.m_PeriodUnit)
      .End();
}

// Fields 12..15: the parameters of the transformation, empty where none applies.
void WriteTransformation(LineWriter& line, const TagSettings& s, bool applies) {
  const auto* scale = std::get_if<CTransform_LineScaleData>(&s.m_Transform);
  const auto* factor = std::get_if<CTransform_FactorData>(&s.m_Transform);
  if (applies && scale) {
    line.Ascii(FormatReal(scale->m_SrcMin))
        .Ascii(FormatReal(scale->m_SrcMax))
        .Ascii(FormatReal(scale->m_DstMin))
        .Ascii(FormatReal(scale->m_DstMax));
    return;
  }
  int empty = 4;
  if (applies && factor) {
    line.Ascii(FormatReal(factor->m_Factor));
    empty = 3;
  }
  while (empty-- > 0) line.Empty();
}

void WriteTag(std::u16string& out, const CTagBase& tag) {
  const TagSettings& s = tag.m_Data;
  LineWriter line(out);
  line.Name(tag.Name())
      .Enum(kRegisterKindTexts, s.m_RegKind)
      .Number(int64_t(s.m_Addr) + 1)
      .Number(s.m_RegsInSegment)
      .Number(s.m_PosInSegment)
      .Enum(kYesNoTexts, s.m_Read);
  if (s.IsWritableKind())
    line.Enum(kYesNoTexts, s.m_Write).Enum(kWriteModeTexts, s.m_bWriteGroup);
  else
    line.Empty().Empty();
  const bool registers = !s.IsBitKind();
  if (registers)
    line.Enum(kValueTypeTexts, s.m_ValueType);
  else
    line.Empty();
  if (registers && s.m_ValueType <= kTypeInt32)
    line.Enum(ByteOrderTexts(s.m_ValueType), s.m_ByteOrder);
  else
    line.Empty();
  const bool transformed = registers && s.m_ValueType < kTypeBit0;
  if (transformed)
    line.Enum(kTransformTexts, s.m_TransformKind);
  else
    line.Empty();
  WriteTransformation(line, s, transformed);
  line.Enum(kEmulationTexts, s.m_EmulKind);
  if (const auto* constant = std::get_if<CEmulData_Const>(&s.m_Emul))
    line.Ascii(FormatReal(constant->m_Value));
  else if (const auto* sine = std::get_if<CEmulData_Sin>(&s.m_Emul))
    line.Number(sine->m_Period);
  line.End();
}

void WriteGroupWithTags(std::u16string& out, const CItem& group) {
  Header(out, u"GROUP", 3);
  WriteGroup(out, static_cast<const CGroupBase&>(group));
  if (group.Children().empty()) return;
  Header(out, u"TAG", 17);
  for (const auto& tag : group.Children()) WriteTag(out, static_cast<const CTagBase&>(*tag.second));
}

std::u16string WithCrLf(const std::u16string& text) {
  std::u16string out;
  out.reserve(text.size() + text.size() / 32);
  for (char16_t unit : text) {
    if (unit == u'\n') out.push_back(u'\r');
    out.push_back(unit);
  }
  return out;
}

}  // namespace

std::u16string RecordsText(const CTreeItemRoot& root) {
  std::u16string out;
  for (const auto& channel : root.Children()) {
    Header(out, u"CHANNEL", 14);
    WriteChannel(out, static_cast<const CChannelBase&>(*channel.second));
    for (const auto& device : channel.second->Children()) {
      Header(out, u"DEVICE", 7);
      WriteDevice(out, static_cast<const CDeviceBase&>(*device.second));
      for (const auto& group : device.second->Children()) WriteGroupWithTags(out, *group.second);
    }
  }
  return out;
}

int WriteConfiguration(const CTreeItemRoot& root, const std::string& path, bool plain) {
  return WriteRecordsText(RecordsText(root), path, plain);
}

int WriteRecordsText(const std::u16string& records, const std::string& path, bool plain) {
  std::string error;
  if (plain) return WriteConfigText(path, WithCrLf(records), false, error) ? kWriteOk : kWriteRecordsFailed;

  // The new records replace the old ones in one write; the options and users
  // sections of the file stay as they were. A file that is not a readable
  // configuration has no sections to keep.
  std::u16string text = records;
  std::u16string old;
  if (ReadConfigText(path, true, old, error)) text.append(old, RecordSectionEnd(old));
  const std::string bytes = EncodeConfigText(text, true);
  if (!WriteFileBytes(path, bytes, HoldsUsersSection(text), error)) return kWriteRecordsFailed;
  std::string back;
  if (!ReadFileBytes(path, back, error) || back != bytes) return kWriteCheckFailed;
  return kWriteOk;
}

}  // namespace virk
