// EDI.ini reader: any bytes as the file; the reads must neither crash nor return more than
// their buffer allows.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/ini_file.h"
#include "app/settings.h"
#include "app/text.h"
#include "test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static edi::test::TempDir dir;
  const auto path = dir / "EDI.ini";
  edi::test::WriteBytes(path, std::string(reinterpret_cast<const char*>(data), size));
  edi::IniFile ini(path);
  for (const char* key : {"EDIOUTFIL", "MGCMDLINEZS", "FL1102_FILE"}) {
    std::string v = ini.Read("PATH", key, 225);
    if (edi::ToAnsiBytes(v).size() > 224 && v.find("\xEF\xBF\xBD") == std::string::npos) std::abort();
  }
  std::string section = ini.ReadSection("JKBN_J_S", 225);
  edi::IniFile::SplitSection(section);
  edi::ReadConnectionSettings(ini);
  edi::LoadStatusColours(ini);
  edi::ReadPackageSettings(ini);
  try {
    edi::ReadProgramSettings(ini);
  } catch (const edi::SettingsError&) {
  }
  return 0;
}
