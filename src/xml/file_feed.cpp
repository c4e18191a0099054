#include "xml/file_feed.h"

#include <string>

namespace edi::xml {

bool FindDeclaredEncoding(std::string_view head, std::size_t& from, std::size_t& to) {
  std::size_t i = 0;
  auto blanks = [&] {
    const std::size_t start = i;
    while (i < head.size() && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n')) ++i;
    return i > start;
  };
  auto word = [&](std::string_view w) {
    if (head.substr(i, w.size()) != w) return false;
    i += w.size();
    return true;
  };
  // name S? '=' S? quote value quote; the value's offsets through from/to.
  auto pseudoAttribute = [&](std::string_view name, auto valueChar) {
    if (!word(name)) return false;
    blanks();
    if (!word("=")) return false;
    blanks();
    if (i >= head.size() || (head[i] != '"' && head[i] != '\'')) return false;
    const char quote = head[i++];
    from = i;
    while (i < head.size() && valueChar(head[i])) ++i;
    to = i;
    return to > from && i < head.size() && head[i++] == quote;
  };
  auto versionChar = [](char c) { return (c >= '0' && c <= '9') || c == '.'; };
  auto nameChar = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
  };
  return word("<?xml") && blanks() && pseudoAttribute("version", versionChar) && blanks() &&
         pseudoAttribute("encoding", nameChar);
}

bool IsShiftJisName(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return upper == "SHIFT_JIS" || upper == "CP932";
}

}  // namespace edi::xml
