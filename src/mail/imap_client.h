// Receiving over IMAP with libcurl: sign on, list and fetch the messages of one mailbox,
// sign off, over one connection.
#pragma once

#include <string>
#include <vector>

#include "mail/curl_session.h"

namespace edi::mail {

class ImapClient {
 public:
  // The login's url names the server (imap://host:port) and optionally the mailbox as its
  // path (imap://host:port/Folder); without one the inbox is read.
  explicit ImapClient(ServerLogin login);

  // Connects, signs on (and TLS when offered). Throws MailFault.
  void SignOn();
  // The UIDs of all messages of the mailbox, ascending.
  std::vector<unsigned long> ListMessages();
  // One whole message (fetching marks it seen).
  std::string Fetch(unsigned long uid);
  // LOGOUT; never throws.
  void SignOff() { session_.Close(); }

  const std::string& mailboxUrl() const { return mailboxUrl_; }

 private:
  CurlSession session_;
  std::string serverUrl_;   // scheme://authority/
  std::string mailboxUrl_;  // serverUrl_ + mailbox, URL-escaped
};

// The UIDs of an untagged "* SEARCH n n …" response (other lines are ignored).
std::vector<unsigned long> ParseSearchResponse(const std::string& response);

}  // namespace edi::mail
