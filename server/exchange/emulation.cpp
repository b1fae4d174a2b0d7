#include "emulation.h"

#include <cmath>
#include <random>

#include "da_tag.h"
#include "platform/platform.h"

namespace virk {
namespace {

// M_PI is POSIX, not C++: mingw's strict mode leaves it out.
constexpr double kPi = 3.14159265358979323846;

// Taken when the program is loaded, so that every sine starts at process start.
const uint64_t kProcessStartMicros = platform::MonotonicMicros();

double RandomValue() {
  // One generator per thread: polling threads never share its state.
  thread_local std::minstd_rand generator{std::random_device{}()};
  return double(generator() & 0x7FFF) / 32768.0;
}

void SetDouble(UA_Variant& out, double value) {
  UA_Variant_setScalarCopy(&out, &value, &UA_TYPES[UA_TYPES_DOUBLE]);
}

}  // namespace

uint64_t ProcessElapsedMs() { return (platform::MonotonicMicros() - kProcessStartMicros) / 1000; }

double SineValue(int32_t periodSeconds, uint64_t elapsedMs) {
  if (periodSeconds <= 0) return 0.0;
  // Reduced to one period first, so the phase keeps its precision for months.
  const uint64_t periodMs = uint64_t(periodSeconds) * 1000;
  const double degrees = 360.0 * double(elapsedMs % periodMs) / double(periodMs);
  return std::sin(degrees * kPi / 180.0);
}

bool GenerateEmulatedValue(const TagSettings& settings, UA_Variant& out) {
  UA_Variant_clear(&out);
  if (const auto* constant = std::get_if<CEmulData_Const>(&settings.m_Emul);
      constant && settings.m_EmulKind == kEmulConst) {
    SetDouble(out, constant->m_Value);
    return true;
  }
  if (settings.m_EmulKind == kEmulRandom) {
    SetDouble(out, RandomValue());
    return true;
  }
  if (const auto* sine = std::get_if<CEmulData_Sin>(&settings.m_Emul);
      sine && settings.m_EmulKind == kEmulSin) {
    SetDouble(out, SineValue(sine->m_Period, ProcessElapsedMs()));
    return true;
  }
  return false;
}

bool Emulate(CDATag& tag) {
  UA_Variant value;
  UA_Variant_init(&value);
  if (!GenerateEmulatedValue(tag.m_Data, value)) return false;
  tag.SetValueStatus(value, tag.Status());
  UA_Variant_clear(&value);
  return true;
}

}  // namespace virk
