#include "register_image.h"

#include "common/log.h"
#include "da_tag.h"
#include "value_types.h"

namespace virk {

void CRegisterImage::Build(const std::vector<CDATag*>& tags) {
  Release();
  for (CDATag* tag : tags) {
    if (!tag->IsRegisterKind() || !UsesRegisterImage(tag->ValueType())) continue;
    const uint16_t address = tag->EffectiveAddress();
    auto [cell, created] = m_Cells.try_emplace(address, std::array<uint8_t, 2>{0, 0});
    if (created) LogFormat(LogLevel::Debug, kLogUserland, "mapCell new %d", int(address));
    tag->SetRegisterImage(cell->second.data());
    m_Users.push_back(tag);
  }
}

void CRegisterImage::Release() {
  for (CDATag* tag : m_Users) tag->SetRegisterImage(nullptr);
  m_Users.clear();
  for (const auto& cell : m_Cells) LogFormat(LogLevel::Debug, kLogUserland, "mapCell delete %d", int(cell.first));
  m_Cells.clear();
}

}  // namespace virk
