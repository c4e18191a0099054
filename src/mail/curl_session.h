// One libcurl easy handle that stays open from the sign-on to the sign-off, so that every
// request of a mail session runs over the same signed-on connection; cleaning the handle
// up ends the session (QUIT / LOGOUT).
#pragma once

#include <curl/curl.h>

#include <functional>
#include <string>

namespace edi::mail {

struct ServerLogin {
  std::string url;       // smtp://, smtps://, imap:// or imaps://
  std::string user;      // empty: no sign-on is asked (a relay that takes mail without one)
  std::string password;
};

// What the operator reads for a failed request: for the common causes (no connection,
// sign-on refused, recipient refused, time-out) a Japanese text followed by libcurl's own
// text; otherwise libcurl's text alone. When the server answered the request with an SMTP
// error reply (4xx or 5xx; `serverReply` is its last line as received), the text names the
// reply and says in Japanese what it means ("554 受信拒否: …"), followed by the reply itself
// and libcurl's text.
std::string DescribeCurlFault(CURLcode rc, const std::string& libraryText, const std::string& serverReply = "");

// The Japanese meaning of an SMTP reply code ("554" → "受信拒否（…）"); empty for a code that is
// no error reply.
std::string SmtpReplyMeaning(int code);

class CurlSession {
 public:
  explicit CurlSession(ServerLogin login);
  ~CurlSession();
  CurlSession(const CurlSession&) = delete;
  CurlSession& operator=(const CurlSession&) = delete;

  // A handle set up with the login, TLS (STARTTLS when the server offers it, for the plain
  // schemes), time-outs and the error buffer; created on the first call.
  CURL* handle();
  // Runs the prepared request; throws MailFault with libcurl's code and message.
  void Perform();
  // Ends the session; harmless when none is open.
  void Close();
  // Called while a request runs (about every second and on progress); true aborts it
  // (MailFault with CURLE_ABORTED_BY_CALLBACK). Set before the request.
  void SetAbortCheck(std::function<bool()> check);

  const ServerLogin& login() const { return login_; }

 private:
  ServerLogin login_;
  CURL* curl_ = nullptr;
  char error_[CURL_ERROR_SIZE] = {};
  std::string lastReply_;  // the server's last reply line of the current request (bounded)
  static int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* self);
  std::function<bool()> abortCheck_;
};

}  // namespace edi::mail
