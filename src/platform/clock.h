// The local time of the system's time zone, thread-safe (localtime_r; Windows localtime_s).
#pragma once

#include <ctime>

namespace edi::platform {

std::tm LocalTime(std::time_t t);

}  // namespace edi::platform
