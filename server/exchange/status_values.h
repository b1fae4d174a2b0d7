// Typed access to the scalar values of status variables.
#pragma once

#include <cstdint>

#include "tag_value.h"

namespace virk {

void SetBoolValue(CBaseTag& tag, bool value, uint32_t status = kStatusGood);
void SetInt32Value(CBaseTag& tag, int32_t value, uint32_t status = kStatusGood);
void SetFloatValue(CBaseTag& tag, float value, uint32_t status = kStatusGood);
// False when the tag holds no Boolean.
bool BoolValue(const CBaseTag& tag);
// 0 when the tag holds no Int32.
int32_t Int32Value(const CBaseTag& tag);

}  // namespace virk
