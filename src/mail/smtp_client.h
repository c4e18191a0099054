// Sending over SMTP with libcurl: sign on, send one message, sign off, over one connection.
#pragma once

#include <string>

#include "mail/curl_session.h"

namespace edi::mail {

class SmtpClient {
 public:
  explicit SmtpClient(ServerLogin login) : session_(std::move(login)) {}

  // Connects, greets, switches to TLS when offered and signs on (NOOP as the first command,
  // so that a refused login shows here and not only when sending). Throws MailFault.
  void SignOn();
  // Sends the message (CR LF bytes) from `from` to the one recipient `to` (addr-specs).
  // Throws MailFault; its outcomeUnknown is set when every byte of the message had been
  // handed over and the connection failed while waiting for the server's answer (the
  // message may have been accepted).
  void Send(const std::string& from, const std::string& to, const std::string& message);
  // A stop asked from outside ends a request under way (see CurlSession::SetAbortCheck).
  void SetAbortCheck(std::function<bool()> check) { session_.SetAbortCheck(std::move(check)); }
  // QUIT; never throws.
  void SignOff() { session_.Close(); }

 private:
  CurlSession session_;
};

}  // namespace edi::mail
