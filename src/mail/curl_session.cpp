#include "mail/curl_session.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "app/catalogue.h"
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

std::string DescribeCurlFault(CURLcode rc, const std::string& libraryText, const std::string& serverReply) {
  const char* cause = nullptr;
  switch (rc) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
      cause = Tr("メールサーバに接続できません");
      break;
    case CURLE_LOGIN_DENIED:
      cause = Tr("メールサーバへのサインオンが拒否されました");
      break;
    case CURLE_OPERATION_TIMEDOUT:
      cause = Tr("メールサーバの応答が時間切れになりました");
      break;
    case CURLE_SEND_ERROR:
      // libcurl reports a refused RCPT TO as a send error with the SMTP reply in its text.
      if (libraryText.find("RCPT") != std::string::npos) cause = Tr("宛先がメールサーバに拒否されました");
      break;
    default:
      break;
  }
  // The server's own error reply says more than libcurl's summary of it.
  int reply = 0;
  if (serverReply.size() >= 3 && std::isdigit(static_cast<unsigned char>(serverReply[0])) &&
      std::isdigit(static_cast<unsigned char>(serverReply[1])) && std::isdigit(static_cast<unsigned char>(serverReply[2])))
    reply = std::stoi(serverReply.substr(0, 3));
  const std::string meaning = SmtpReplyMeaning(reply);
  if (!meaning.empty() && (cause == nullptr || rc == CURLE_SEND_ERROR || rc == CURLE_LOGIN_DENIED)) {
    std::string text = TrArgs("{1}: サーバの応答 \"{2}\" ({3})", {meaning, serverReply, libraryText});
    return cause == nullptr ? text : std::string(cause) + ": " + text;
  }
  if (cause == nullptr) return libraryText;
  return std::string(cause) + ": " + libraryText;
}

std::string SmtpReplyMeaning(int code) {
  switch (code) {
    case 421: return Tr("421 サービス停止中: メールサーバが接続を閉じました。時間をおいて再送信してください");
    case 450: return Tr("450 一時的な受信不可: 宛先のメールボックスが今は使えません。時間をおいて再送信してください");
    case 451: return Tr("451 サーバ側の処理エラー: メールサーバが処理を中断しました。時間をおいて再送信してください");
    case 452: return Tr("452 容量不足: メールサーバの記憶領域が足りません。時間をおいて再送信してください");
    case 500:
    case 501:
    case 502:
    case 503:
    case 504: return TrArgs("{1} 要求を受け付けられません: メールサーバが命令または引数を受け付けませんでした", {std::to_string(code)});
    case 530: return Tr("530 認証が必要です: メールサーバへのサインオンが必要です (MAPI の ProfileName / Password)");
    case 534:
    case 535: return TrArgs("{1} 認証失敗: メールサーバがサインオンを拒否しました (MAPI の ProfileName / Password)", {std::to_string(code)});
    case 550: return Tr("550 受信拒否: 宛先のメールボックスがないか、受信を拒否されました。宛先アドレスを確認してください");
    case 551: return Tr("551 宛先不明: 宛先のユーザはこのメールサーバにいません");
    case 552: return Tr("552 容量超過: メールが大きすぎるか、宛先の容量を超えました");
    case 553: return Tr("553 宛先アドレス不正: メールサーバがアドレスを受け付けませんでした");
    case 554: return Tr("554 受信拒否: メールサーバがこのメールの受け取りを拒否しました。相手先に確認してください");
    case 555: return Tr("555 パラメータ不正: 送信者または宛先の指定を受け付けませんでした");
    default: break;
  }
  if (code >= 400 && code < 500) return TrArgs("{1} 一時的なエラー: 時間をおいて再送信してください", {std::to_string(code)});
  if (code >= 500 && code < 600) return TrArgs("{1} 恒久的なエラー: メールサーバが要求を拒否しました", {std::to_string(code)});
  return {};
}

int CurlSession::OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* self) {
  // Only the server's reply lines are kept (SMTP and IMAP replies arrive as "headers"); the
  // last complete line stands for the request's outcome.
  if (type != CURLINFO_HEADER_IN) return 0;
  std::string line(data, std::min<size_t>(size, 512));
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (!line.empty()) static_cast<CurlSession*>(self)->lastReply_ = line;
  return 0;
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
  // The server's replies are watched (not printed), so that a refusal can be told in its words.
  curl_easy_setopt(curl_, CURLOPT_DEBUGFUNCTION, &CurlSession::OnDebug);
  curl_easy_setopt(curl_, CURLOPT_DEBUGDATA, this);
  curl_easy_setopt(curl_, CURLOPT_VERBOSE, 1L);
  if (!login_.user.empty()) {
    curl_easy_setopt(curl_, CURLOPT_USERNAME, login_.user.c_str());
    curl_easy_setopt(curl_, CURLOPT_PASSWORD, login_.password.c_str());
  }
  return curl_;
}

void CurlSession::Perform() {
  error_[0] = '\0';
  lastReply_.clear();
  const CURLcode rc = curl_easy_perform(handle());
  if (rc != CURLE_OK) {
    std::string text = error_[0] ? std::string(error_) : std::string(curl_easy_strerror(rc));
    // Only an SMTP session's replies are SMTP reply codes.
    const bool smtp = login_.url.rfind("smtp", 0) == 0;
    throw MailFault(static_cast<long>(rc), DescribeCurlFault(rc, text, smtp ? lastReply_ : std::string()));
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
