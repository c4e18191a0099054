#include "mail/smtp_client.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstring>

#include "mail/mail_fault.h"

namespace edi::mail {

namespace {

struct Upload {
  const std::string* data;
  std::size_t offset = 0;
};

std::size_t ReadUpload(char* buffer, std::size_t size, std::size_t count, void* userdata) {
  auto* up = static_cast<Upload*>(userdata);
  const std::size_t n = std::min(size * count, up->data->size() - up->offset);
  std::memcpy(buffer, up->data->data() + up->offset, n);
  up->offset += n;
  return n;
}

std::size_t Discard(char*, std::size_t size, std::size_t count, void*) { return size * count; }

struct SList {
  curl_slist* list = nullptr;
  ~SList() { curl_slist_free_all(list); }
};

}  // namespace

void SmtpClient::SignOn() {
  CURL* curl = session_.handle();
  curl_easy_setopt(curl, CURLOPT_URL, session_.login().url.c_str());
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "NOOP");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Discard);
  session_.Perform();
}

void SmtpClient::Send(const std::string& from, const std::string& to, const std::string& message) {
  CURL* curl = session_.handle();
  SList recipients;
  recipients.list = curl_slist_append(nullptr, ("<" + to + ">").c_str());
  const std::string sender = "<" + from + ">";
  Upload upload{&message};
  curl_easy_setopt(curl, CURLOPT_URL, session_.login().url.c_str());
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr);
  curl_easy_setopt(curl, CURLOPT_MAIL_FROM, sender.c_str());
  curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients.list);
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadUpload);
  curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
  curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
  try {
    session_.Perform();
  } catch (MailFault& fault) {
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, nullptr);
    // The whole message was read for sending and the connection then failed or timed out:
    // whether the server took it cannot be known. A refusal the server did send is known.
    const bool lostAnswer = fault.number == CURLE_RECV_ERROR || fault.number == CURLE_GOT_NOTHING ||
                            fault.number == CURLE_OPERATION_TIMEDOUT || fault.number == CURLE_SEND_ERROR ||
                            fault.number == CURLE_ABORTED_BY_CALLBACK;
    fault.outcomeUnknown = upload.offset == message.size() && lostAnswer;
    // A stopped send does not wait for the server's answer to a closing QUIT: the
    // connection is cut.
    if (fault.number == CURLE_ABORTED_BY_CALLBACK) {
      curl_socket_t socket = CURL_SOCKET_BAD;
      if (curl_easy_getinfo(curl, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK && socket != CURL_SOCKET_BAD)
        shutdown(socket, SHUT_RDWR);
    }
    throw;
  } catch (...) {
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, nullptr);
    throw;
  }
  curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, nullptr);
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
}

}  // namespace edi::mail
