// Creates the server's run-time items: CChannel, CDevice, CGroup, CDATag.
#pragma once

#include "common/item.h"

namespace virk {

class CServerItemFactory : public CItemFactory {
 public:
  ItemPtr Create(int32_t kind) const override;
};

}  // namespace virk
