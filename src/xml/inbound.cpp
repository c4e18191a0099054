#include "xml/inbound.h"

#include <exception>

#include "app/database.h"
#include "app/text.h"
#include "cii/translator_impl.h"
#include "xml/cii_to_xml.h"
#include "xml/xml_codes.h"
#include "xml/xml_input.h"
#include "xml/xml_to_cii.h"

namespace edi::xml {

namespace {

enum class Direction { CiiToXml, XmlToCii };

// One conversion with the translator's shared state, a fresh cache of the masters, and every
// fault turned into a result code.
std::string Convert(cii::Translator& translator, Direction direction, const std::filesystem::path& in,
                    const std::filesystem::path& out, const std::string* startLine) {
  cii::Translator::Impl& impl = translator.impl();
  impl.log.ClearResult();
  try {
    if (startLine != nullptr) impl.log.WriteTranslationLog(0, *startLine, false);
    InitXmlLibrary();
    cii::CachedMasters masters(impl.masters());
    cii::TranslationContext ctx = impl.Context(masters);
    if (direction == Direction::CiiToXml) {
      ConvertCiiToXml(ctx, in, out);
    } else {
      ConvertXmlToCii(ctx, in, out);
    }
  } catch (const DatabaseError&) {
    impl.log.WriteTranslationLog(cii::kCodeDatabase, "", false);
  } catch (const std::exception&) {
    impl.log.WriteTranslationLog(kCodeXmlUnexpected, "", false);
  }
  impl.log.EndRun();
  return impl.log.failed() ? impl.log.resultCode() : "0000";
}

}  // namespace

bool IsCiiPath(const std::filesystem::path& path) {
  std::string text = path.string();
  if (text.size() < 3) return false;
  text = text.substr(text.size() - 3);
  for (char& c : text) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return text == "CII";
}

std::string ConvertInboundFile(cii::Translator& translator, const std::filesystem::path& in,
                               const std::filesystem::path& out, long long serial) {
  const std::string startLine = "--P114030 start--" + SerialField(serial);
  return Convert(translator, IsCiiPath(in) ? Direction::CiiToXml : Direction::XmlToCii, in, out, &startLine);
}

std::string ConvertCiiToXmlFile(cii::Translator& translator, const std::filesystem::path& in,
                                const std::filesystem::path& out) {
  return Convert(translator, Direction::CiiToXml, in, out, nullptr);
}

std::string ConvertXmlToCiiFile(cii::Translator& translator, const std::filesystem::path& in,
                                const std::filesystem::path& out) {
  return Convert(translator, Direction::XmlToCii, in, out, nullptr);
}

}  // namespace edi::xml
