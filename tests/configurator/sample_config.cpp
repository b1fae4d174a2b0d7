#include "sample_config.h"

#include "common/csv_writer.h"
#include "model/tree_edit.h"

using namespace virk;

namespace {

CItem* Add(CItem& parent, ItemPtr item) {
  CItem* raw = item.get();
  return parent.AddChild(std::move(item)) ? raw : nullptr;
}

}  // namespace

void BuildSample(CTreeItemRoot& root) {
  CItem* com = Add(root, NewChannel(root));
  auto* tcp = static_cast<CChannelInfo*>(Add(root, NewChannel(root)));
  tcp->m_Data.SetChannelType(kChannelTcp);
  tcp->m_Data.m_Protocol = kProtocolTcp;
  tcp->m_Data.Tcp()->m_IpAddress = 0x0100007F;
  CItem* device = Add(*com, NewDevice(*com));
  CItem* group = Add(*device, NewItem(*device, kKindGroup));
  Add(*device, NewItem(*device, kKindGroup));
  for (int address : {9, 10, 100}) {
    ItemPtr tag = NewItem(*group, kKindTag);
    static_cast<CDATagInfo&>(*tag).m_Data.m_Addr = uint16_t(address - 1);
    Add(*group, std::move(tag));
  }
}

bool WriteSample(const QString& path) {
  CTreeItemRoot root;
  BuildSample(root);
  return WriteConfiguration(root, path.toStdString(), true) == kWriteOk;
}
