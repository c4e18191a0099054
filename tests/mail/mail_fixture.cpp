#include "mail_fixture.h"

#include <curl/curl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace edi::mail::test {

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

}  // namespace

std::optional<MailServers> TestServers() {
  MailServers s{Env("EDI_TEST_SMTP_URL"), Env("EDI_TEST_IMAP_URL"), Env("EDI_TEST_MAIL_USER"),
                Env("EDI_TEST_MAIL_PASSWORD"), Env("EDI_TEST_SMTP_MAILDIR")};
  if (s.smtpUrl.empty() || s.imapUrl.empty() || s.user.empty() || s.smtpMaildir.empty()) return std::nullopt;
  return s;
}

MailWorkspace::MailWorkspace() {
  std::filesystem::create_directories(out());
  std::filesystem::create_directories(in());
}

void MailWorkspace::WriteIni(const std::string& user, const std::string& password, const std::string& mailText,
                             const std::string& smtpUrl, const std::string& imapUrl, const std::string& from) {
  edi::test::WriteAnsiText(ini(), "[MAPI]\nProfileName=" + user + "\nPassword=" + password +
                                      "\n[MAIL]\nMAIL-TEXT=" + mailText + "\nSMTP-URL=" + smtpUrl +
                                      "\nIMAP-URL=" + imapUrl + "\nFROM=" + from + "\n");
}

MailEnvironment MailWorkspace::env() const {
  MailEnvironment e;
  e.iniPath = ini();
  e.paths.outFolder = out().string() + "/";
  e.paths.inFolder = in().string() + "/";
  return e;
}

std::string UniqueAddress(const std::string& tag) {
  static std::atomic<int> counter{0};
  return tag + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + "@partner.example";
}

std::vector<std::string> ArrivedMessages(const std::string& maildir, const std::string& address) {
  std::vector<std::string> found;
  const std::filesystem::path box = std::filesystem::path(maildir) / "new";
  if (!std::filesystem::exists(box)) return found;
  for (const auto& entry : std::filesystem::directory_iterator(box)) {
    const std::string raw = edi::test::ReadBytes(entry.path());
    if (raw.find("X-RcptTo: " + address) != std::string::npos) found.push_back(raw);
  }
  return found;
}

int AppendToInbox(const MailServers& servers, const std::string& user, const std::string& raw) {
  CURL* curl = curl_easy_init();
  struct Source {
    const std::string* data;
    std::size_t offset = 0;
  } source{&raw};
  auto read = +[](char* buf, std::size_t size, std::size_t n, void* p) -> std::size_t {
    auto* s = static_cast<Source*>(p);
    const std::size_t len = std::min(size * n, s->data->size() - s->offset);
    std::memcpy(buf, s->data->data() + s->offset, len);
    s->offset += len;
    return len;
  };
  const std::string url = servers.imapUrl + "/INBOX";
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERNAME, user.c_str());
  curl_easy_setopt(curl, CURLOPT_PASSWORD, servers.password.c_str());
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, read);
  curl_easy_setopt(curl, CURLOPT_READDATA, &source);
  curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(raw.size()));
  const CURLcode rc = curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  return static_cast<int>(rc);
}

}  // namespace edi::mail::test
