#include "mail/imap_client.h"

#include <algorithm>
#include <sstream>

namespace edi::mail {

namespace {

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* userdata) {
  static_cast<std::string*>(userdata)->append(data, size * count);
  return size * count;
}

// Splits "scheme://authority/path" into "scheme://authority/" and the path.
void SplitUrl(const std::string& url, std::string& server, std::string& path) {
  const std::size_t scheme = url.find("://");
  const std::size_t start = scheme == std::string::npos ? 0 : scheme + 3;
  const std::size_t slash = url.find('/', start);
  if (slash == std::string::npos) {
    server = url + "/";
    path.clear();
  } else {
    server = url.substr(0, slash + 1);
    path = url.substr(slash + 1);
  }
  while (!path.empty() && path.back() == '/') path.pop_back();
}

}  // namespace

ImapClient::ImapClient(ServerLogin login) : session_(std::move(login)) {
  std::string path;
  SplitUrl(session_.login().url, serverUrl_, path);
  mailboxUrl_ = serverUrl_ + (path.empty() ? "INBOX" : path);
}

void ImapClient::SignOn() {
  CURL* curl = session_.handle();
  std::string ignored;
  curl_easy_setopt(curl, CURLOPT_URL, serverUrl_.c_str());
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "NOOP");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &ignored);
  session_.Perform();
}

std::vector<unsigned long> ImapClient::ListMessages() {
  CURL* curl = session_.handle();
  std::string response;
  curl_easy_setopt(curl, CURLOPT_URL, mailboxUrl_.c_str());
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "UID SEARCH ALL");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response);
  session_.Perform();
  return ParseSearchResponse(response);
}

std::string ImapClient::Fetch(unsigned long uid) {
  CURL* curl = session_.handle();
  std::string message;
  const std::string url = mailboxUrl_ + ";UID=" + std::to_string(uid);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &message);
  session_.Perform();
  return message;
}

std::vector<unsigned long> ParseSearchResponse(const std::string& response) {
  std::vector<unsigned long> uids;
  std::istringstream lines(response);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("* SEARCH", 0) != 0) continue;
    std::istringstream words(line.substr(8));
    std::string word;
    while (words >> word) {
      if (!std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
      uids.push_back(std::stoul(word));
    }
  }
  std::sort(uids.begin(), uids.end());
  uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
  return uids;
}

}  // namespace edi::mail
