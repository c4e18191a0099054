// mgpkg: the stand-in communications package for the demo and the tests.
//
//   mgpkg @PARAMETER-FILE
//
// Reads the parameter file (CP932). For each line "/[EDI]<code>TXT='%EDI_OUT%<name>'" it
// copies the in-house file <DATA>/<maker>_<code>.LOC, or else <DATA>/<code>.LOC, to <OUT>/<name> ("%EDI_OUT%" stands for OUT);
// a code without a data file gets no file and counts 0. Then it writes the status file
// named by "/[EDI]STATUS_FILE='…'": one line per code (mark "0", code in characters 2-5,
// the maker code in 6-17, input and output record counts in 18-23 and 24-29, result in
// 30-31), then the end line "1".
//
// Its configuration is a small KEY=VALUE file (UTF-8, "#" starts a comment): the file named
// by the environment variable MGPKG_CONFIG, else mgpkg.ini beside the program. Relative
// folders are taken relative to the configuration file.
//   DATA=folder of the in-house files (<MAKER>_<information code>.LOC, else <information code>.LOC)
//   OUT=output folder (what "%EDI_OUT%" stands for)
//   STATUS=write | skip        skip: leave no status file
//   RESULT=00                  the result written on every status line (01 for a file it
//                              could not write, which it removes)
//   HANG=0 | 1                 1: sleep until killed, before writing anything
//   DELAY=milliseconds         wait this long before writing anything (a slow package; the
//                              environment variable MGPKG_DELAY_MS gives the default)
//   LOG=file                   optional: every parameter file read is appended to it (UTF-8)
// STATUS, RESULT, HANG and DELAY may also be given for one partner company (the parameter file's
// MAKER) as KEY@MAKER=value; that value wins for that partner.
// Exit codes: 0 done, 2 bad usage or unreadable configuration/parameter file.
//   EXIT=n (or EXIT@MAKER=n)   end with code n once the work is done: a package's exit code
//                              says nothing about its work, the status file does
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/text.h"

namespace fs = std::filesystem;

namespace {

struct Config {
  fs::path data, out, log;
  int exitCode = 0;
  bool writeStatus = true;
  std::string result = "00";
  bool hang = false;
  long delayMs = 0;
};

std::string Trim(const std::string& s) {
  auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  auto e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

fs::path ProgramFolder() {
  std::error_code ec;
  auto exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path() : exe.parent_path();
}

bool ReadConfig(Config& config, const std::string& maker) {
  const char* env = std::getenv("MGPKG_CONFIG");
  fs::path file = env && *env ? fs::path(env) : ProgramFolder() / "mgpkg.ini";
  std::ifstream in(file);
  if (!in) {
    std::cerr << "mgpkg: cannot read the configuration " << file << "\n";
    return false;
  }
  const fs::path base = fs::absolute(file).parent_path();
  auto folder = [&](const std::string& v) { return fs::path(v).is_absolute() ? fs::path(v) : base / v; };
  std::vector<std::pair<std::string, std::string>> overrides;
  std::string line;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
    std::transform(key.begin(), key.end(), key.begin(), ::toupper);
    auto at = key.find('@');
    if (at != std::string::npos) {
      // KEY@MAKER: only for that partner company (maker codes compare as written).
      std::string original = Trim(line.substr(0, eq));
      if (original.substr(at + 1) != maker) continue;
      key = key.substr(0, at);
      overrides.push_back({key, value});
      continue;
    }
    if (key == "EXIT") config.exitCode = std::atoi(value.c_str());
    if (key == "DATA") config.data = folder(value);
    else if (key == "OUT") config.out = folder(value);
    else if (key == "LOG") config.log = folder(value);
    else if (key == "STATUS") config.writeStatus = value != "skip";
    else if (key == "RESULT") config.result = value;
    else if (key == "HANG") config.hang = value == "1";
    else if (key == "DELAY") config.delayMs = std::atol(value.c_str());
  }
  for (const auto& [key, value] : overrides) {
    if (key == "EXIT") config.exitCode = std::atoi(value.c_str());
    if (key == "STATUS") config.writeStatus = value != "skip";
    else if (key == "RESULT") config.result = value;
    else if (key == "HANG") config.hang = value == "1";
    else if (key == "DELAY") config.delayMs = std::atol(value.c_str());
  }
  return true;
}

struct Parameters {
  std::vector<std::pair<std::string, std::string>> files;  // information code, file name
  std::string operatorCode, statusFile, maker;
  std::string text;  // the whole file, UTF-8
};

std::string Unquote(const std::string& v) {
  if (v.size() >= 2 && v.front() == '\'' && v.back() == '\'') return v.substr(1, v.size() - 2);
  return v;
}

bool ReadParameters(const fs::path& file, Parameters& params) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::stringstream buffer;
  buffer << in.rdbuf();
  params.text = edi::FromAnsiBytes(buffer.str());
  std::istringstream lines(params.text);
  std::string line;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.rfind("/[EDI]", 0) != 0) continue;
    auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(6, eq - 6), value = Unquote(line.substr(eq + 1));
    if (key == "OPERATOR") params.operatorCode = value;
    else if (key == "STATUS_FILE") params.statusFile = value;
    else if (key == "MAKER") params.maker = value;
    else if (key.size() > 3 && key.compare(key.size() - 3, 3, "TXT") == 0) {
      const std::string marker = "%EDI_OUT%";
      if (value.rfind(marker, 0) == 0) value = value.substr(marker.size());
      params.files.emplace_back(key.substr(0, key.size() - 3), value);
    }
  }
  return true;
}

long CountRecords(const std::string& bytes) {
  long n = std::count(bytes.begin(), bytes.end(), '\n');
  if (!bytes.empty() && bytes.back() != '\n') ++n;
  return n;
}

// A text cut or padded with spaces to `width` characters.
std::string Fixed(const std::string& text, std::size_t width) {
  std::string out;
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size() && chars < width;) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    std::size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : 4;
    out += text.substr(i, len);
    i += len;
    ++chars;
  }
  out.append(width - chars, ' ');
  return out;
}

std::string Count6(long n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%06ld", std::min(n, 999999L));
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] != '@') {
    std::cerr << "usage: mgpkg @PARAMETER-FILE\n";
    return 2;
  }
  Parameters params;
  if (!ReadParameters(argv[1] + 1, params)) {
    std::cerr << "mgpkg: cannot read " << (argv[1] + 1) << "\n";
    return 2;
  }
  Config config;
  if (const char* delay = std::getenv("MGPKG_DELAY_MS")) config.delayMs = std::atol(delay);
  if (!ReadConfig(config, params.maker)) return 2;
  if (!config.log.empty()) {
    std::ofstream log(config.log, std::ios::app | std::ios::binary);
    log << "--- " << (argv[1] + 1) << "\n" << params.text;
  }
  if (config.hang) {
    for (;;) pause();
  }
  if (config.delayMs > 0) usleep(static_cast<useconds_t>(std::min(config.delayMs, 60'000L)) * 1000);

  std::string status;
  for (const auto& [code, name] : params.files) {
    long records = 0;
    std::string result = config.result;
    // Only plain names: the package writes nowhere but its output folder.
    const bool plainName = !name.empty() && name.find('/') == std::string::npos && name.find("..") == std::string::npos;
    // A partner may have data of its own (<MAKER>_<code>.LOC); else every partner gets <code>.LOC.
    const bool ownData = !params.maker.empty() && params.maker.find('/') == std::string::npos &&
                         params.maker.find("..") == std::string::npos &&
                         fs::exists(config.data / (params.maker + "_" + code + ".LOC"));
    std::ifstream data(config.data / (ownData ? params.maker + "_" + code + ".LOC" : code + ".LOC"), std::ios::binary);
    if (data && plainName) {
      std::stringstream bytes;
      bytes << data.rdbuf();
      std::ofstream out(config.out / name, std::ios::binary | std::ios::trunc);
      out << bytes.str();
      out.close();  // a full disk may show only when the last bytes are flushed
      records = CountRecords(bytes.str());
      if (!out) {
        // A file that could not be written (whole) is no extraction: report it, leave no half file.
        std::cerr << "mgpkg: cannot write " << (config.out / name) << "\n";
        records = 0;
        result = "01";
        std::error_code ec;
        fs::remove(config.out / name, ec);
      }
    }
    status += "0" + Fixed(code, 4) + Fixed(params.maker, 12) + Count6(records) + Count6(records) +
              Fixed(result, 2) + "\r\n";
  }
  status += "1\r\n";
  if (config.writeStatus && !params.statusFile.empty()) {
    std::ofstream out(params.statusFile, std::ios::binary | std::ios::trunc);
    out << edi::ToAnsiBytes(status);
  }
  return config.exitCode;
}
