// The one place that names a run's files. Extraction (the names the package is told to
// write), conversion (the files it looks for and the result it writes), the hand-off to the
// package's send path and the mail transfer all take their names from here, so that the
// file a run converted is always the file it sends, whatever the center code holds.
//
// A name is: serial field + "_" + kind + "_" + center field + category + "." + extension,
// for example "00000001_SND_CENTER01____0101.LOC" (an extracted in-house file) or
// "00000001_SND_CENTER01____.CII" (the run's result). The center field is the center code
// padded to 12 characters with "_", every space in it also written as "_".
#pragma once

#include <string>
#include <string_view>

namespace edi {

inline constexpr const char* kSendKind = "SND";     // files of a sending run
inline constexpr const char* kReceiveKind = "RCV";  // received files

// The 12-character center field of every file name.
std::string CenterFileField(std::string_view centerCode);

// Serial field + "_" + kind + "_" + center field: the part that every file of one run and
// center begins with (what the conversion lists).
std::string RunFilePrefix(long long serial, std::string_view centerCode, std::string_view kind = kSendKind);

// The whole name: the prefix, the category (an information code, or empty for the result)
// and "." + extension (none when the extension is empty).
std::string RunFileName(long long serial, std::string_view centerCode, std::string_view kind,
                        std::string_view category, std::string_view extension);

}  // namespace edi
