#include "mail/curl_session.h"

#include <mutex>

#include "mail/mail_fault.h"

namespace edi::mail {

namespace {

void EnsureCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

int CheckAbort(void* userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* check = static_cast<const std::function<bool()>*>(userdata);
  return (*check && (*check)()) ? 1 : 0;
}

}  // namespace

std::string DescribeCurlFault(CURLcode rc, const std::string& libraryText) {
  const char* cause = nullptr;
  switch (rc) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
      cause = "メールサーバに接続できません";
      break;
    case CURLE_LOGIN_DENIED:
      cause = "メールサーバへのサインオンが拒否されました";
      break;
    case CURLE_OPERATION_TIMEDOUT:
      cause = "メールサーバの応答が時間切れになりました";
      break;
    case CURLE_SEND_ERROR:
      // libcurl reports a refused RCPT TO as a send error with the SMTP reply in its text.
      if (libraryText.find("RCPT") != std::string::npos) cause = "宛先がメールサーバに拒否されました";
      break;
    default:
      break;
  }
  if (cause == nullptr) return libraryText;
  return std::string(cause) + ": " + libraryText;
}

CurlSession::CurlSession(ServerLogin login) : login_(std::move(login)) {}

CurlSession::~CurlSession() { Close(); }

CURL* CurlSession::handle() {
  if (curl_) return curl_;
  EnsureCurl();
  curl_ = curl_easy_init();
  if (!curl_) throw MailFault(CURLE_FAILED_INIT, curl_easy_strerror(CURLE_FAILED_INIT));
  curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, error_);
  curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, "smtp,smtps,imap,imaps");
  // STARTTLS when the server offers it; smtps:// and imaps:// speak TLS from the start.
  curl_easy_setopt(curl_, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
  curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT, 30L);
  curl_easy_setopt(curl_, CURLOPT_SERVER_RESPONSE_TIMEOUT, 120L);
  // A stalled transfer ends instead of blocking the run for ever.
  curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_TIME, 120L);
  if (!login_.user.empty()) {
    curl_easy_setopt(curl_, CURLOPT_USERNAME, login_.user.c_str());
    curl_easy_setopt(curl_, CURLOPT_PASSWORD, login_.password.c_str());
  }
  return curl_;
}

void CurlSession::Perform() {
  error_[0] = '\0';
  const CURLcode rc = curl_easy_perform(handle());
  if (rc != CURLE_OK) {
    std::string text = error_[0] ? std::string(error_) : std::string(curl_easy_strerror(rc));
    throw MailFault(static_cast<long>(rc), DescribeCurlFault(rc, text));
  }
}

void CurlSession::SetAbortCheck(std::function<bool()> check) {
  abortCheck_ = std::move(check);
  CURL* curl = handle();
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, CheckAbort);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &abortCheck_);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
}

void CurlSession::Close() {
  if (curl_) {
    curl_easy_cleanup(curl_);
    curl_ = nullptr;
  }
}

}  // namespace edi::mail
