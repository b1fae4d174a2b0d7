#include "server_item_factory.h"

#include "channel.h"
#include "da_tag.h"
#include "device.h"
#include "group.h"

namespace virk {

ItemPtr CServerItemFactory::Create(int32_t kind) const {
  switch (kind) {
    case kKindChannel: return std::make_unique<CChannel>();
    case kKindDevice: return std::make_unique<CDevice>();
    case kKindGroup: return std::make_unique<CGroup>();
    case kKindTag: return std::make_unique<CDATag>();
    default: return nullptr;
  }
}

}  // namespace virk
