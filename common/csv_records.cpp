#include "csv_records.h"

#include "import_exception.h"
#include "item_data.h"

namespace virk {
namespace {

constexpr size_t kComFields = 14;
constexpr size_t kTcpFields = 9;
constexpr size_t kDeviceFields = 7;
constexpr size_t kGroupFields = 3;
constexpr size_t kTagFields = 16;
constexpr size_t kTagFieldsWithParameter = 17;

// The fields of one record with the checks that raise its errors. A field that
// is not there is never read: asking for it raises the field-count error.
class Record {
 public:
  Record(long line, const Fields& fields, size_t expected)
      : m_Line(line), m_Fields(fields), m_Expected(expected) {}

  size_t Count() const { return m_Fields.empty() ? 0 : m_Fields.size() - 1; }
  void Expect(size_t expected) { m_Expected = expected; }
  void Require(size_t expected) {
    m_Expected = expected;
    if (Count() < expected) throw CFileldCountException(m_Line, Count(), expected);
  }
  std::u16string_view operator[](size_t field) const {
    if (field > Count()) throw CFileldCountException(m_Line, Count(), m_Expected);
    return m_Fields[field];
  }
  // Runs one adapter operation on field n; its failure is the field's error.
  template <typename Data>
  void Set(Data& data, bool (Data::*set)(std::u16string_view), size_t field) const {
    if (!(data.*set)((*this)[field])) throw CFileldException(m_Line, int(field));
  }
  void SetUniqueName(CItemData& data, CItem& item, const CItem& parent) const {
    Set(data, &CItemData::SetName, 1);
    if (parent.Children().count(item.Name())) throw CNameDubleException(m_Line, 1, item.Name());
  }

 private:
  long m_Line;
  const Fields& m_Fields;
  size_t m_Expected;
};

void ParseComPort(const Record& r, CChannelData& data) {
  r.Set(data, &CChannelData::SetComPort, 7);
  r.Set(data, &CChannelData::SetBaudRate, 8);
  r.Set(data, &CChannelData::SetDataBits, 9);
  r.Set(data, &CChannelData::SetStopBits, 10);
  r.Set(data, &CChannelData::SetParity, 11);
  r.Set(data, &CChannelData::SetEcho, 12);
  r.Set(data, &CChannelData::SetRtsControl, 13);
  r.Set(data, &CChannelData::SetDtrControl, 14);
}

void ParseTcpPort(const Record& r, CChannelData& data) {
  r.Set(data, &CChannelData::SetIpAddress, 7);
  r.Set(data, &CChannelData::SetTcpPort, 8);
  r.Set(data, &CChannelData::SetConnectTimeout, 9);
}

void ParseTransformation(const Record& r, CDATagData& data, int32_t kind) {
  if (kind == kTransformLineScale) {
    r.Set(data, &CDATagData::SetSourceMin, 12);
    r.Set(data, &CDATagData::SetSourceMax, 13);
    r.Set(data, &CDATagData::SetDestinationMin, 14);
    r.Set(data, &CDATagData::SetDestinationMax, 15);
  } else if (kind == kTransformFactor) {
    r.Set(data, &CDATagData::SetFactor, 12);
  }
}

}  // namespace

void ParseChannelRecord(long line, const Fields& fields, const CItem& parent,
                        CChannelBase& channel) {
  Record r(line, fields, kComFields);
  CChannelData data(channel);
  r.SetUniqueName(data, channel, parent);
  r.Set(data, &CChannelData::SetChannelType, 2);
  const bool tcp = channel.m_Data.m_ChannelType == kChannelTcp;
  r.Expect(tcp ? kTcpFields : kComFields);
  r.Set(data, &CChannelData::SetProtocol, 3);
  r.Set(data, &CChannelData::SetResponseTimeout, 4);
  r.Set(data, &CChannelData::SetAttempts, 5);
  r.Set(data, &CChannelData::SetPause, 6);
  if (tcp)
    ParseTcpPort(r, data);
  else
    ParseComPort(r, data);
}

void ParseDeviceRecord(long line, const Fields& fields, const CItem& parent, CDeviceBase& device) {
  Record r(line, fields, kDeviceFields);
  r.Require(kDeviceFields);
  CDeviceData data(device);
  r.SetUniqueName(data, device, parent);
  r.Set(data, &CDeviceData::SetAddress, 2);
  r.Set(data, &CDeviceData::SetEmulation, 3);
  r.Set(data, &CDeviceData::SetMaxRegsInReqv, 4);
  r.Set(data, &CDeviceData::SetMaxStatesInReqv, 5);
  r.Set(data, &CDeviceData::SetFragment, 6);
  r.Set(data, &CDeviceData::SetExchange, 7);
}

void ParseGroupRecord(long line, const Fields& fields, const CItem& parent, CGroupBase& group) {
  Record r(line, fields, kGroupFields);
  r.Require(kGroupFields);
  CGroupData data(group);
  r.SetUniqueName(data, group, parent);
  r.Set(data, &CGroupData::SetPeriodUnit, 3);
  r.Set(data, &CGroupData::SetPeriod, 2);
}

void ParseTagRecord(long line, const Fields& fields, const CItem& parent, CTagBase& tag) {
  Record r(line, fields, kTagFields);
  r.Require(kTagFields);
  CDATagData data(tag);
  const TagSettings& s = tag.m_Data;
  r.SetUniqueName(data, tag, parent);
  r.Set(data, &CDATagData::SetRegisterKind, 2);
  r.Set(data, &CDATagData::SetAddress, 3);
  r.Set(data, &CDATagData::SetRegsInSegment, 4);
  r.Set(data, &CDATagData::SetPosInSegment, 5);
  r.Set(data, &CDATagData::SetRead, 6);
  if (s.IsWritableKind()) {
    r.Set(data, &CDATagData::SetWrite, 7);
    r.Set(data, &CDATagData::SetWriteMode, 8);
  }
  if (!s.IsBitKind()) {
    r.Set(data, &CDATagData::SetValueType, 9);
    r.Set(data, &CDATagData::SetByteOrder, 10);
    if (s.m_ValueType < kTypeBit0) {
      r.Set(data, &CDATagData::SetTransformKind, 11);
      ParseTransformation(r, data, s.m_TransformKind);
    }
  }
  r.Set(data, &CDATagData::SetEmulationKind, 16);
  if (data.EmulationHasParameter()) {
    r.Require(kTagFieldsWithParameter);
    r.Set(data, &CDATagData::SetEmulationParameter, 17);
  }
}

}  // namespace virk
