#include "value_lock.h"

namespace virk {

std::mutex& GlobalValueLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace virk
