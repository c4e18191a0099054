#include "platform/clock.h"

namespace edi::platform {

std::tm LocalTime(std::time_t t) {
  std::tm tm{};
  localtime_s(&tm, &t);
  return tm;
}

}  // namespace edi::platform
