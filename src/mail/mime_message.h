// Building and reading mail messages (MIME) with GMime.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace edi::mail {

struct Mailbox {
  std::string name;     // display name, may be empty
  std::string address;  // the bare address, local@domain
};

// The first mailbox of an address text ("addr" or "Name <addr>"); nullopt when the text
// holds no address with an "@".
std::optional<Mailbox> ParseMailbox(const std::string& text);

struct OutgoingMail {
  std::string subject;         // UTF-8; encoded for the header (RFC 2047)
  std::string body;            // UTF-8 with CR LF line ends; sent base64 so no relay changes it
  Mailbox from;
  Mailbox to;
  std::string attachmentName;  // UTF-8; RFC 2231 when it is not ASCII; empty: no attachment
  std::string attachment;      // the file's bytes
};

// The whole message with CR LF line ends, ready for SMTP DATA. Throws MailFault.
std::string BuildMessage(const OutgoingMail& mail);

struct IncomingMail {
  std::string subject;                  // decoded, UTF-8
  std::string from;                     // address of the first sender
  std::vector<std::string> recipients;  // addresses of To, then Cc, in message order
  std::string text;                     // the first text/plain part that is no attachment, UTF-8
  bool hasAttachment = false;
  std::string attachmentName;           // of the first attachment
  std::string attachment;               // its decoded bytes
};

// Reads a raw message. Throws MailFault when it is not a message.
IncomingMail ParseMessage(const std::string& raw);

}  // namespace edi::mail
