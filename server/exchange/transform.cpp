#include "transform.h"

#include <algorithm>
#include <cmath>

namespace virk {

std::unique_ptr<CTransformation> CTransformation::Create(int32_t kind, const TransformData& data) {
  if (kind == kTransformLineScale) {
    if (const auto* scale = std::get_if<CTransform_LineScaleData>(&data))
      return std::make_unique<CTransformLineScale>(*scale);
  } else if (kind == kTransformFactor) {
    if (const auto* factor = std::get_if<CTransform_FactorData>(&data))
      return std::make_unique<CTransformFactor>(*factor);
  }
  return nullptr;
}

bool CTransformFactor::ToEngineering(double raw, double& engineering, bool& outOfRange) const {
  outOfRange = false;
  engineering = raw * double(m_Data.m_Factor);
  return std::isfinite(engineering);
}

bool CTransformFactor::ToRaw(double engineering, double& raw) const {
  if (m_Data.m_Factor == 0) return false;
  raw = engineering / double(m_Data.m_Factor);
  return std::isfinite(raw);
}

bool CTransformLineScale::ToEngineering(double raw, double& engineering, bool& outOfRange) const {
  const double rawMin = m_Data.m_SrcMin, rawMax = m_Data.m_SrcMax;
  const double engMin = m_Data.m_DstMin, engMax = m_Data.m_DstMax;
  outOfRange = raw < rawMin || raw > rawMax;
  if (rawMax == rawMin) return false;  // no slope: nothing sensible to publish
  engineering = (engMax - engMin) * (raw - rawMin) / (rawMax - rawMin) + engMin;
  return std::isfinite(engineering);
}

bool CTransformLineScale::ToRaw(double engineering, double& raw) const {
  const double rawMin = m_Data.m_SrcMin, rawMax = m_Data.m_SrcMax;
  const double engMin = m_Data.m_DstMin, engMax = m_Data.m_DstMax;
  if (engMax == engMin || std::isnan(engineering)) return false;
  // std::clamp needs low <= high; an inverted scale clamps to the same span.
  engineering = std::clamp(engineering, std::min(engMin, engMax), std::max(engMin, engMax));
  raw = (rawMax - rawMin) * (engineering - engMin) / (engMax - engMin) + rawMin;
  return std::isfinite(raw);
}

}  // namespace virk
