// File names and texts of a mail transfer: which file a sending attaches, where a receiving
// stores, and the subject line.
#pragma once

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace edi::mail {

// The name of the run's result file that a sending attaches: serial field + "_SND_" +
// padded center code + ".CII" (data format "C") or ".XML" (data format "X").
std::string AttachmentFileName(double serial, const std::string& centerCode, const std::string& dataFormat);

// The received-file name: serial field + "_RCV_" + padded center code + ".CII" or ".XML".
std::string ReceivedFileName(double serial, const std::string& centerCode, const std::string& dataFormat);

// The text escaped for an ECMAScript regular expression, so that it matches only itself.
std::string EscapeRegex(const std::string& text);

// The files of `folder` whose names contain the (escaped) name, tested case-insensitively,
// in name order. Sub-folders are left out. Throws std::filesystem::filesystem_error when the
// folder cannot be listed.
std::vector<std::string> MatchingFiles(const std::filesystem::path& folder, const std::string& name);

// The file to attach among the matches: the one whose name equals `name` (exactly, else
// ignoring ASCII case, as the Windows file system opens it); nullopt when the matches only
// contain the name inside a longer one.
std::optional<std::string> PickAttachment(const std::vector<std::string>& matches, const std::string& name);

// "EDIデータ" + "yyyy/mm/dd hh:mm:ss" (local time) + "送信".
std::string MailSubject(std::time_t when);

// A folder value of EDI.ini (a prefix that ends with "/") as a folder path.
std::filesystem::path FolderOf(const std::string& prefix);

}  // namespace edi::mail
