// `edi dump`: any bytes as a CII file. The listing must not crash, and its size must stay
// proportional to the file's (a bounded number of output bytes per input byte).
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "cii/dump.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream out;
  edi::cii::DumpCiiFile(in, out);
  if (out.str().size() > 4096 + 256 * size) std::abort();
  return 0;
}
