// The inbound translation entry (module P114030): CII → XML or XML → CII, chosen by the last
// three characters of the input path ("CII", any case, converts to XML).
#pragma once

#include <filesystem>
#include <string>

#include "cii/translator.h"

namespace edi::xml {

// Logs "--P114030 start--" + serial, converts, and returns "0000" or the run's result code.
std::string ConvertInboundFile(cii::Translator& translator, const std::filesystem::path& in,
                               const std::filesystem::path& out, long long serial);

}  // namespace edi::xml

namespace edi::xml {

// The two directions on their own (`edi translate cii-to-xml` / `xml-to-cii`): no start line,
// same result code rule.
std::string ConvertCiiToXmlFile(cii::Translator& translator, const std::filesystem::path& in,
                                const std::filesystem::path& out);
std::string ConvertXmlToCiiFile(cii::Translator& translator, const std::filesystem::path& in,
                                const std::filesystem::path& out);

}  // namespace edi::xml
