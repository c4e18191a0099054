#include "run/alert.h"

#include <chrono>
#include <ctime>

#include "app/catalogue.h"
#include "app/database.h"
#include "app/text.h"
#include "mail/mail_settings.h"
#include "mail/mime_message.h"
#include "mail/smtp_client.h"
#include "platform/clock.h"
#include "run/history.h"
#include "run/history_query.h"

namespace edi::run {
namespace {

// Lines of ERR.LOG quoted in one mail, at most.
constexpr std::size_t kMaxLogLines = 200;
// Bytes of one quoted line, at most.
constexpr std::size_t kMaxLineBytes = 1000;

// The hour an alert belongs to, "yyyy/mm/dd hh" (local time).
std::string HourOf(std::time_t t) {
  const std::tm tm = platform::LocalTime(t);
  char text[32];
  std::strftime(text, sizeof text, "%Y/%m/%d %H", &tm);
  return text;
}

std::string Subject(const AlertSettings& settings, const std::string& text) {
  return settings.subject.empty() ? text : settings.subject + " " + text;
}

// Sends one text mail to every recipient; "" or the first fault.
std::string SendMail(const RunContext& ctx, const AlertSettings& settings, const std::string& subject,
                     const std::string& body) {
  try {
    const mail::MailSettings server = mail::ReadMailSettings(ctx.ws.iniPath);
    auto from = mail::ParseMailbox(server.from);
    if (!from) return TrArgs("MAIL FROM \"{1}\" はメールアドレスではありません", {server.from});
    for (const std::string& to : settings.to) {
      auto recipient = mail::ParseMailbox(to);
      if (!recipient) return TrArgs("ALERT TO \"{1}\" はメールアドレスではありません", {to});
      mail::OutgoingMail m;
      m.subject = subject;
      m.body = body;
      m.from = *from;
      m.to = *recipient;
      mail::SmtpClient smtp(mail::ServerLogin{server.smtpUrl, server.profileName, server.password});
      smtp.SignOn();
      smtp.Send(from->address, recipient->address, mail::BuildMessage(m));
      smtp.SignOff();
    }
    return "";
  } catch (const std::exception& e) {
    return e.what();
  }
}

// CR LF line ends for the mail body.
std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += "\r\n";
    else out += c;
  }
  return out;
}

std::string LogExcerpt(const RunContext& ctx, std::int32_t serial) {
  std::string text;
  try {
    const auto lines = ErrLogLines(ctx.ws.errLogPath, serial);
    const std::size_t first = lines.size() > kMaxLogLines ? lines.size() - kMaxLogLines : 0;
    if (first > 0) text += "(先頭の " + std::to_string(first) + " 行は省略)\n";
    for (std::size_t i = first; i < lines.size(); ++i) {
      std::string line = lines[i];
      if (line.size() > kMaxLineBytes) line = line.substr(0, kMaxLineBytes) + " …(" + std::to_string(lines[i].size()) + " バイト)";
      text += line + "\n";
    }
  } catch (const std::exception& e) {
    text += "(ERR.LOG を読めません: " + std::string(e.what()) + ")\n";
  }
  return text.empty() ? "(この通番の行はありません)\n" : text;
}

}  // namespace

std::string StepName(const std::string& workKind) {
  if (workKind == kWorkExtract) return "データ抽出";
  if (workKind == kWorkConvertCii) return "変換（CII）";
  if (workKind == kWorkConvertOther) return "変換";
  if (workKind == kWorkConvertXml) return "変換（XML）";
  if (workKind == kWorkSend) return "送信";
  return "処理全体";
}

std::string AlertBody(const AlertFacts& f) {
  std::string body;
  body += "センター: " + f.centerCode + "\n";
  body += "通番: " + SerialField(f.serial) + "\n";
  body += "失敗した処理: " + f.step + "\n";
  body += "終了コード: " + f.endCode + "  詳細コード: " + f.detailCode + "\n";
  if (!f.reason.empty()) body += f.reason + "\n";
  body += "\n対処: 原因を取り除いてから、結果を送り直すには次のコマンドを実行してください\n";
  body += "  edi resend " + std::to_string(f.serial) + "\n";
  body += "(送信済みの結果をもう一度送るときは --force を付けます。抽出・変換の失敗は edi run で実行し直します)\n";
  return body;
}

void RaiseAlert(const RunContext& ctx, const AlertSettings& settings, const AlertFacts& facts) {
  if (settings.to.empty()) return;
  try {
    const std::string hour = HourOf(std::time(nullptr));
    const std::string body = AlertBody(facts) + "\nERR.LOG:\n" + LogExcerpt(ctx, facts.serial);
    // The hour's next number; the unique key lets one of two workstations have it.
    long long number = 0;
    for (int attempt = 0; attempt < 20 && number == 0; ++attempt) {
      auto rows = ctx.db().Query("SELECT MAX(連番) FROM EDI警報 WHERE 時間帯 = :1", {hour});
      const long long next = rows.empty() || !rows.front().at(0) ? 1 : std::stoll(*rows.front().at(0)) + 1;
      const bool mailNow = next <= settings.maxPerHour;
      try {
        ctx.db().Execute("INSERT INTO EDI警報 (時間帯, 連番, 送信済, 内容) VALUES (:1, :2, :3, :4)",
                         {hour, next, std::string(mailNow ? "Y" : "N"), body});
        number = next;
      } catch (const DatabaseError& e) {
        if (!e.uniqueViolation) throw;
      }
    }
    if (number == 0) {
      ctx.Log(facts.centerCode + ": " + Tr("警報メールの件数を数えられません"));
      return;
    }
    if (number > settings.maxPerHour) {
      ctx.Log(facts.centerCode + ": " +
              TrArgs("警報メールはこの1時間の上限 ({1} 通) に達したため、まとめて後で送ります",
                     {std::to_string(settings.maxPerHour)}));
      return;
    }
    const std::string subject =
        Subject(settings, "EDI送信失敗 " + facts.centerCode + " 通番 " + SerialField(facts.serial));
    const std::string fault = SendMail(ctx, settings, subject, Crlf(body));
    if (fault.empty()) ctx.Log(facts.centerCode + ": " + Tr("警報メールを送りました"));
    else ctx.Log(facts.centerCode + ": " + TrArgs("警報メールを送れません: {1}", {fault}));
  } catch (const std::exception& e) {
    ctx.Log(facts.centerCode + ": " + TrArgs("警報メールを送れません: {1}", {e.what()}));
  }
}

void SendAlertSummaries(const RunContext& ctx, const AlertSettings& settings) {
  if (settings.to.empty()) return;
  try {
    const std::string current = HourOf(std::time(nullptr));
    auto hours = ctx.db().Query(
        "SELECT DISTINCT 時間帯 FROM EDI警報 WHERE 送信済 = 'N' AND 時間帯 < :1 ORDER BY 時間帯", {current});
    for (const Row& h : hours) {
      const std::string hour = h.Text("時間帯");
      // The kept alerts are claimed with a token of this process, so that one summary holds them.
      const std::string token = "S" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
      ctx.db().Execute("UPDATE EDI警報 SET 送信済 = :1 WHERE 時間帯 = :2 AND 送信済 = 'N'", {token, hour});
      auto kept = ctx.db().Query("SELECT 内容 FROM EDI警報 WHERE 時間帯 = :1 AND 送信済 = :2 ORDER BY 連番", {hour, token});
      if (kept.empty()) continue;
      std::string body = hour + "時台に上限を超えた警報 " + std::to_string(kept.size()) + " 件をまとめて送ります。\n";
      int n = 0;
      for (const Row& k : kept) body += "\n==== " + std::to_string(++n) + " ====\n" + k.Text("内容");
      const std::string fault =
          SendMail(ctx, settings, Subject(settings, "EDI送信失敗のまとめ " + hour + "時台 " + std::to_string(kept.size()) + " 件"),
                   Crlf(body));
      if (fault.empty()) {
        ctx.db().Execute("UPDATE EDI警報 SET 送信済 = 'Y' WHERE 時間帯 = :1 AND 送信済 = :2", {hour, token});
        ctx.Log(TrArgs("警報のまとめメールを送りました ({1}時台 {2} 件)", {hour, std::to_string(kept.size())}));
      } else {
        // Kept for the next run or retry.
        ctx.db().Execute("UPDATE EDI警報 SET 送信済 = 'N' WHERE 時間帯 = :1 AND 送信済 = :2", {hour, token});
        ctx.Log(TrArgs("警報のまとめメールを送れません: {1}", {fault}));
      }
    }
  } catch (const std::exception& e) {
    ctx.Log(TrArgs("警報のまとめメールを送れません: {1}", {e.what()}));
  }
}

std::string SendTestAlert(const RunContext& ctx, const AlertSettings& settings) {
  if (settings.to.empty()) return Tr("ALERT TO が空です: 警報メールは送られません");
  return SendMail(ctx, settings, Subject(settings, "EDI警報メールの試験"),
                  Crlf("端末 " + ctx.ws.terminalName + " からの警報メールの試験です。\n" + TodayYmd() + " " + NowHms() + "\n"));
}

}  // namespace edi::run
