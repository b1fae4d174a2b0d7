// A polling group at run time: its poll timer, its register image, and the
// read and write entries that hand its tags to the device.
#pragma once

#include <cstdint>
#include <vector>

#include <open62541/types.h>

#include "common/item.h"
#include "poll_timer.h"
#include "register_image.h"

namespace virk {

class CDATag;
class CDevice;

class CGroup : public CGroupBase {
 public:
  CGroup() = default;

  // At the start of the channel's thread: register image built, timer set to
  // the period and due at once.
  void StartPolling();
  // When the thread ends: the register image is released.
  void StopPolling();
  PollTimer& Timer() { return m_Timer; }

  // Polls the readable tags (or emulates them); 0 on success.
  int Read();
  // Writes `count` values to the given tags of this group; per-tag results
  // (0, 1 exchange off, 0x80004005 not writable, otherwise the status a
  // client is told: why the device did not take the value, or BadTimeout
  // when it did not answer and the outcome is unknown). 0 on success.
  int Write(size_t count, CDATag* const* tags, const UA_Variant* values, uint32_t* results);
  // One tag; `status` (optional) gets its result.
  int Write(CDATag& tag, const UA_Variant& value, uint32_t* status = nullptr);

  CDevice* Device() const;
  std::vector<CDATag*> Tags() const;

 private:
  PollTimer m_Timer;
  CRegisterImage m_Image;
  std::vector<CDATag*> m_PolledTags;  // from StartPolling to StopPolling
};

}  // namespace virk
