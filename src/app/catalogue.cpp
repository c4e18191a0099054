#include "app/catalogue.h"

namespace edi {

const char* Tr(const char* msgid) { return msgid; }

std::string TrArgs(const char* msgid, std::initializer_list<std::string_view> args) {
  const std::string_view text = Tr(msgid);
  std::string out;
  out.reserve(text.size() + 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '{') {
      std::size_t j = i + 1;
      std::size_t n = 0;
      while (j < text.size() && text[j] >= '0' && text[j] <= '9') n = n * 10 + (text[j++] - '0');
      if (j < text.size() && text[j] == '}' && j > i + 1 && n >= 1 && n <= args.size()) {
        out.append(*(args.begin() + (n - 1)));
        i = j;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

void InitCatalogue() {}

}  // namespace edi
