#include "app/settings.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "app/catalogue.h"
#include "app/text.h"
#include "platform/paths.h"

namespace edi {
namespace {

constexpr int kConnectionBuffer = 64;
constexpr int kSettingBuffer = 256;
constexpr int kColourBuffer = 64;
constexpr int kPackageBuffer = 225;
constexpr int kConnectionField = 50;

// Cut or space-pad to a fixed number of characters.
std::string FixedField(const std::string& text, int width) {
  std::string out;
  int chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = text[i];
    if ((c & 0xC0) != 0x80) {
      if (chars == width) break;
      ++chars;
    }
    out += text[i];
  }
  out.append(width - chars, ' ');
  return out;
}

bool StartsWithHexPrefix(const std::string& s, size_t pos) {
  return pos + 1 < s.size() && s[pos] == '&' && (s[pos + 1] == 'H' || s[pos + 1] == 'h');
}

// Parses "&H…" at pos; returns the value and the end position, or nullopt without digits.
std::optional<std::pair<double, size_t>> ParseHex(const std::string& s, size_t pos) {
  size_t i = pos + 2;
  unsigned long long v = 0;
  size_t digits = 0;
  while (i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i])) && digits < 16) {
    char c = s[i];
    v = v * 16 + (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::toupper(c) - 'A' + 10));
    ++i;
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  return std::make_pair(static_cast<double>(v), i);
}

// Parses a decimal number (sign, digits, one point, optional exponent) at pos.
std::optional<std::pair<double, size_t>> ParseDecimal(const std::string& s, size_t pos) {
  size_t i = pos;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digitsStart = i;
  bool digits = false, point = false;
  while (i < s.size()) {
    if (std::isdigit(static_cast<unsigned char>(s[i]))) {
      digits = true;
    } else if (s[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
    ++i;
  }
  if (!digits) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
      while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
      i = j;
    }
  }
  (void)digitsStart;
  double value = std::strtod(s.substr(pos, i - pos).c_str(), nullptr);
  return std::make_pair(value, i);
}

std::optional<std::pair<double, size_t>> ParseNumberAt(const std::string& s, size_t pos) {
  if (StartsWithHexPrefix(s, pos)) return ParseHex(s, pos);
  return ParseDecimal(s, pos);
}

ControlLook ReadLook(const IniFile& ini, const std::string& prefix) {
  auto mandatory = [&](const std::string& key) {
    std::string text = ini.Read("Setting0", key, kSettingBuffer);
    auto v = ParseMandatoryNumber(text);
    if (!v) throw SettingsError(TrArgs("Setting0 {1} がないか数値ではありません: \"{2}\"", {key, text}));
    return *v;
  };
  auto text = [&](const std::string& key) { return ini.Read("Setting0", key, kSettingBuffer); };
  ControlLook look;
  look.backColor = mandatory(prefix + "BackColor");
  look.foreColor = mandatory(prefix + "ForeColor");
  look.font.bold = text(prefix + "FontBold");
  look.font.italic = text(prefix + "FontItalic");
  look.font.name = text(prefix + "FontName");
  look.font.size = text(prefix + "FontSize");
  look.font.strikethru = text(prefix + "FontStrikethru");
  look.font.underline = text(prefix + "FontUnderline");
  return look;
}

std::filesystem::path FolderOf(const IniFile& ini) { return ini.path().parent_path(); }

}  // namespace

std::optional<std::filesystem::path> ResolveConfigFolder(const std::string& exeFolder) {
  // Two folders up from the program's folder, with this system's separators; the root
  // ("/", "C:\") is as far up as it goes.
  const std::size_t root = platform::RootLength(exeFolder);
  auto lastSeparator = [&](std::size_t before) {
    for (std::size_t i = before; i-- > 0;)
      if (platform::IsPathSeparator(exeFolder[i])) return i;
    return std::string::npos;
  };
  size_t last = lastSeparator(exeFolder.size());
  if (last == std::string::npos || last < root || last == 0) return std::nullopt;
  size_t secondLast = lastSeparator(last);
  if (secondLast == std::string::npos) return std::nullopt;
  if (secondLast < root) return std::filesystem::path(exeFolder.substr(0, root));
  return std::filesystem::path(exeFolder.substr(0, secondLast));
}

std::optional<std::filesystem::path> LocateIniFile(const std::optional<std::string>& iniOption,
                                                   const std::string& exeFolder) {
  if (iniOption && !iniOption->empty()) return std::filesystem::absolute(*iniOption);
  if (const char* env = std::getenv("EDI_INI"); env && *env) return std::filesystem::absolute(env);
  auto folder = ResolveConfigFolder(exeFolder);
  if (!folder) return std::nullopt;
  return *folder / "EDI.ini";
}

std::string ResolveAgainst(const std::filesystem::path& base, const std::string& value) {
  if (value.empty() || platform::RootLength(value) > 0) return value;
  std::string b = base.string();
  if (b.empty()) return value;
  if (!platform::IsPathSeparator(b.back())) b += platform::PreferredSeparator();
  return b + value;
}

ConnectionSettings ReadConnectionSettings(const IniFile& ini) {
  ConnectionSettings s;
  s.userId = FixedField(ini.Read("動作環境", "USERID", kConnectionBuffer), kConnectionField);
  s.password = FixedField(ini.Read("動作環境", "PASSWD", kConnectionBuffer), kConnectionField);
  s.dbString = FixedField(ini.Read("動作環境", "DBSTRING", kConnectionBuffer), kConnectionField);
  s.dbEngine = TrimSpaces(ini.Read("動作環境", "DBENGINE", kSettingBuffer));
  s.dbFile = ResolveAgainst(FolderOf(ini), TrimSpaces(ini.Read("動作環境", "DBFILE", kSettingBuffer)));
  s.dbConnect = TrimSpaces(ini.Read("動作環境", "DBCONNECT", kSettingBuffer));
  return s;
}

ProgramSettings ReadProgramSettings(const IniFile& ini) {
  ProgramSettings p;
  DisplaySettings& d = p.display;
  d.formBackColor = ini.Read("Setting0", "FormBackColor", kSettingBuffer);
  d.label = ReadLook(ini, "Label");
  d.text = ReadLook(ini, "Text");
  {
    std::string focus = ini.Read("Setting0", "TextFocusColor", kSettingBuffer);
    auto v = ParseMandatoryNumber(focus);
    if (!v) throw SettingsError(TrArgs("Setting0 {1} がないか数値ではありません: \"{2}\"", {"TextFocusColor", focus}));
    d.textFocusColor = *v;
  }
  d.title = ReadLook(ini, "Title");
  for (auto [key, target] : {std::pair{"MINIMAIZE", &p.minimize}, std::pair{"DEMOMODE", &p.demoMode}}) {
    std::string text = ini.Read("P113010", key, kSettingBuffer);
    auto v = ParseInt16(text);
    if (!v) throw SettingsError(TrArgs("P113010 {1} がないか 16 ビット整数ではありません: \"{2}\"", {key, text}));
    *target = *v;
  }
  const auto base = FolderOf(ini);
  p.paths.inFolder = ResolveAgainst(base, ini.Read("PATH", "EDIINFIL", kSettingBuffer));
  p.paths.outFolder = ResolveAgainst(base, ini.Read("PATH", "EDIOUTFIL", kSettingBuffer));
  p.paths.statusFolder = ResolveAgainst(base, ini.Read("PATH", "MGSTPATH", kSettingBuffer));
  p.paths.oldFolder = ResolveAgainst(base, ini.Read("PATH", "OLD_FILE", kSettingBuffer));
  p.paths.errLog = ResolveAgainst(base, TrimSpaces(ini.Read("PATH", "ERRLOG", kSettingBuffer)));
  p.configFolder = base;
  return p;
}

std::uint32_t StatusColours::ForState(int rowState) const {
  switch (rowState) {
    case 1: return processing;
    case 2: return processed;
    case 9: return error;
    default: return normal;
  }
}

StatusColours LoadStatusColours(const IniFile& ini) {
  auto colour = [&](const char* key) {
    double v = LeadingNumber(ini.Read("COLOR", key, kColourBuffer));
    if (!(v >= 0) || v > 4294967295.0) return std::uint32_t{0};
    return static_cast<std::uint32_t>(v);
  };
  StatusColours c;
  c.normal = colour("通常");
  c.error = colour("エラー");
  c.processed = colour("処理済");
  c.processing = colour("処理中");
  return c;
}

PackageSettings ReadPackageSettings(const IniFile& ini) {
  PackageSettings s;
  const auto base = FolderOf(ini);
  s.paramFolder = ResolveAgainst(base, ini.Read("PATH", "PRPATH", kPackageBuffer));
  s.commandLine = ini.Read("PATH", "MGCMDLINEZS", kPackageBuffer);
  s.historyPrefix = ini.Read("PATH", "FL1102_FILE", kPackageBuffer);
  double timeout = LeadingNumber(ini.Read("PATH", "MGTIMEOUT", kSettingBuffer));
  s.timeoutSeconds = timeout > 0 && timeout < 1e7 ? static_cast<int>(timeout) : 0;
  s.sendKeep = TrimSpaces(ini.Read("PATH", "SENDKEEP", kSettingBuffer)) == "1";
  for (const std::string& piece : IniFile::SplitSection(ini.ReadSection("JKBN_J_S", kPackageBuffer))) {
    std::string trimmed = TrimSpaces(piece);
    if (trimmed.empty() || trimmed == "\\") break;
    s.defaultInfoCodes.push_back(piece);
  }
  return s;
}

std::optional<double> ParseMandatoryNumber(const std::string& text) {
  std::string s = TrimSpaces(text);
  if (s.empty()) return std::nullopt;
  auto parsed = ParseNumberAt(s, 0);
  if (!parsed || parsed->second != s.size()) return std::nullopt;
  return parsed->first;
}

std::optional<std::int16_t> ParseInt16(const std::string& text) {
  auto v = ParseMandatoryNumber(text);
  if (!v) return std::nullopt;
  double r = std::nearbyint(*v);  // round half to even, like the original conversion
  if (r < -32768 || r > 32767) return std::nullopt;
  return static_cast<std::int16_t>(r);
}

double LeadingNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  auto parsed = ParseNumberAt(text, i);
  return parsed ? parsed->first : 0.0;
}

}  // namespace edi
