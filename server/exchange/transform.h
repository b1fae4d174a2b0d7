// Value transformations between a register tag's raw value and the
// engineering value published for it. Both directions work on doubles.
#pragma once

#include <memory>

#include "common/settings.h"

namespace virk {

class CTransformation {
 public:
  virtual ~CTransformation() = default;
  // False when the settings give no defined result; `outOfRange` reports a
  // raw value outside the configured raw range.
  virtual bool ToEngineering(double raw, double& engineering, bool& outOfRange) const = 0;
  // False when the settings give no defined result (the value is then sent
  // untransformed).
  virtual bool ToRaw(double engineering, double& raw) const = 0;

  // The transformation of the settings' kind, or null for none.
  static std::unique_ptr<CTransformation> Create(int32_t kind, const TransformData& data);
};

// "Множитель": engineering = raw × factor.
class CTransformFactor : public CTransformation {
 public:
  explicit CTransformFactor(const CTransform_FactorData& data) : m_Data(data) {}
  bool ToEngineering(double raw, double& engineering, bool& outOfRange) const override;
  bool ToRaw(double engineering, double& raw) const override;

 private:
  CTransform_FactorData m_Data;
};

// "Линейная шкала": maps [raw min, raw max] linearly onto [eng min, eng max].
class CTransformLineScale : public CTransformation {
 public:
  explicit CTransformLineScale(const CTransform_LineScaleData& data) : m_Data(data) {}
  bool ToEngineering(double raw, double& engineering, bool& outOfRange) const override;
  bool ToRaw(double engineering, double& raw) const override;

 private:
  CTransform_LineScaleData m_Data;
};

}  // namespace virk
