#include "run/retry.h"

#include <chrono>
#include <ctime>
#include <algorithm>
#include <map>

#include "app/catalogue.h"
#include "app/database.h"
#include "app/text.h"
#include "mail/mail_transfer.h"
#include "platform/clock.h"
#include "run/alert.h"
#include "run/center_lock.h"
#include "run/handoff_record.h"
#include "run/history.h"
#include "run/resend.h"
#include "run/run_stop.h"
#include "run/send_dispatch.h"

namespace edi::run {
namespace {

constexpr const char* kSwitchedOnKey = "RETRY_ENABLED_AT";
// 状態 of a run in EDI自動再送.
constexpr const char* kActive = "";
constexpr const char* kSent = "S";
constexpr const char* kFinal = "F";
constexpr const char* kUnknown = "U";

long long NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// "yyyy/mm/dd hh:nn:ss" of a moment, local time.
std::string Stamp(std::time_t t) {
  const std::tm tm = platform::LocalTime(t);
  char text[32];
  std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &tm);
  return text;
}

// Seconds since the epoch of a stored date and time (local), 0 when they do not read.
long long SecondsOf(const std::string& date, const std::string& time) {
  std::tm tm{};
  if (std::sscanf((date + " " + time).c_str(), "%d/%d/%d %d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                  &tm.tm_min, &tm.tm_sec) != 6)
    return 0;
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  tm.tm_isdst = -1;
  return static_cast<long long>(std::mktime(&tm));
}

// A send the retry may repeat: the package hand-off or a mail that was refused or not sent.
// Not: a mail handed over whose answer was lost, a send stopped by a signal.
bool Retryable(const std::string& endCode, const std::string& detailCode) {
  return endCode == "5100" && detailCode != mail::kMailOutcomeUnknown;
}

struct Candidate {
  std::int32_t serial = 0;
  std::string center;
  std::string lastEnd, lastDetail;  // the latest send branch
  long long lastEndSeconds = 0;
};

// Runs that ended, started at or after `since` (and within the window), that have a send
// branch, no successful one and none still open. Newest last.
std::vector<Candidate> FailedSends(Database& db, const std::string& since) {
  auto rows = db.Query(
      "SELECT r.通番, r.センターコード, s.枝番, s.終了コード, s.詳細コード, s.処理終了日付, s.処理終了時刻"
      " FROM FL1102処理履歴ファイル r JOIN FL1102処理履歴ファイル s ON s.通番 = r.通番 AND s.枝番 > 0 AND s.処理種別 = :1"
      " WHERE r.枝番 = 0 AND r.処理終了日付 IS NOT NULL AND r.処理終了日付 <> '' AND r.処理終了日付 <> ' '"
      " AND r.処理開始日付 || ' ' || r.処理開始時刻 >= :2"
      " ORDER BY r.通番, s.枝番",
      {std::string(kWorkSend), since});
  std::map<std::int32_t, Candidate> found;
  std::map<std::int32_t, bool> excluded;
  for (const Row& r : rows) {
    const auto serial = static_cast<std::int32_t>(r.Int("通番"));
    const std::string end = TrimSpaces(r.Text("終了コード"));
    const std::string endDate = TrimSpaces(r.Text("処理終了日付"));
    if (end == "0000" || endDate.empty()) excluded[serial] = true;  // sent, or a send in flight
    Candidate& c = found[serial];
    c.serial = serial;
    c.center = r.Text("センターコード");
    c.lastEnd = end;
    c.lastDetail = TrimSpaces(r.Text("詳細コード"));
    c.lastEndSeconds = SecondsOf(endDate, r.Text("処理終了時刻"));
  }
  std::vector<Candidate> out;
  for (auto& [serial, c] : found)
    if (!excluded[serial]) out.push_back(c);
  return out;
}

struct State {
  int tries = 0;
  long long next = 0;
  std::string status;
};

std::optional<State> ReadState(Database& db, std::int32_t serial) {
  auto rows = db.Query("SELECT 試行回数, 次回秒, 状態 FROM EDI自動再送 WHERE 通番 = :1", {static_cast<long long>(serial)});
  if (rows.empty()) return std::nullopt;
  return State{static_cast<int>(rows.front().Int("試行回数")), rows.front().Int("次回秒"), TrimSpaces(rows.front().Text("状態"))};
}

void SetStatus(Database& db, std::int32_t serial, const char* status) {
  db.Execute("UPDATE EDI自動再送 SET 状態 = :1 WHERE 通番 = :2", {std::string(status), static_cast<long long>(serial)});
}

long long IntervalSeconds(const RetrySettings& s, int triesMade) {
  long long seconds = 60LL * s.intervalMinutes;
  for (int i = 0; i < triesMade && seconds < 7 * 86400; ++i) seconds *= 2;
  return seconds;
}

}  // namespace

std::string RetrySwitchedOnAt(Database& db) {
  try {
    try {
      db.Execute("INSERT INTO EDI運用記録 (項目, 値) VALUES (:1, :2)", {std::string(kSwitchedOnKey), Stamp(std::time(nullptr))});
    } catch (const DatabaseError& e) {
      if (!e.uniqueViolation) throw;
    }
    auto rows = db.Query("SELECT 値 FROM EDI運用記録 WHERE 項目 = :1", {std::string(kSwitchedOnKey)});
    return rows.empty() ? "" : rows.front().Text("値");
  } catch (const std::exception&) {
    return "";
  }
}

bool RetryWillTake(const UnattendedSettings& settings) { return settings.retry.enabled; }

RetryReport RetryFailedSends(const RunContext& ctx, const UnattendedSettings& settings) {
  RetryReport report;
  const RetrySettings& s = settings.retry;
  if (!s.enabled) return report;
  try {
    const std::string switchedOn = RetrySwitchedOnAt(ctx.db());
    if (switchedOn.empty()) {
      ctx.Log(Tr("再送: 自動再送を始めた時刻を記録できません"));
      return report;
    }
    const std::string windowStart = Stamp(std::time(nullptr) - 3600LL * s.windowHours);
    const std::string since = std::max(switchedOn, windowStart);
    CenterLock lock(ctx.db(), ThisProcess(ctx.ws.terminalName),
                    StaleAfterSeconds(ReadPackageSettings(ctx.ws.ini()).timeoutSeconds));

    for (const Candidate& c : FailedSends(ctx.db(), since)) {
      if (ctx.stopped()) break;
      const std::string run = c.center + ": 通番 " + SerialField(c.serial);
      auto state = ReadState(ctx.db(), c.serial);
      if (state && state->status != kActive) continue;
      if (!state) {
        // First sight: the first try waits the interval after the failed send.
        try {
          ctx.db().Execute("INSERT INTO EDI自動再送 (通番, センターコード, 試行回数, 次回秒, 状態) VALUES (:1, :2, 0, :3, :4)",
                           {static_cast<long long>(c.serial), c.center, c.lastEndSeconds + IntervalSeconds(s, 0),
                            std::string(kActive)});
        } catch (const DatabaseError& e) {
          if (!e.uniqueViolation) throw;
        }
        state = ReadState(ctx.db(), c.serial);
        if (!state || state->status != kActive) continue;
      }

      // Everything from here on is decided and done while holding the center.
      const LockClaim claim = lock.Claim(c.center, "retry " + SerialField(c.serial));
      if (!claim.taken) {
        ++report.waiting;
        ctx.Log(run + ": " + TrArgs("再送しません ({1})", {claim.HolderText()}));
        continue;
      }
      struct ReleaseAtEnd {
        CenterLock& lock;
        ~ReleaseAtEnd() { lock.Release(); }
      } releaseAtEnd{lock};
      state = ReadState(ctx.db(), c.serial);
      if (!state || state->status != kActive) continue;
      // The latest send, read again under the lock: sent meanwhile, or another outcome.
      const auto fresh = FailedSends(ctx.db(), since);
      auto it = std::find_if(fresh.begin(), fresh.end(), [&](const Candidate& f) { return f.serial == c.serial; });
      if (it == fresh.end()) {
        SetStatus(ctx.db(), c.serial, kSent);
        continue;
      }
      if (!Retryable(it->lastEnd, it->lastDetail)) {
        SetStatus(ctx.db(), c.serial, kUnknown);
        ++report.unknown;
        ctx.Log(run + ": " +
                TrArgs("送信の結果が分からないため自動では再送しません。確認して edi resend {1} で送ってください",
                       {std::to_string(c.serial)}));
        RaiseAlert(ctx, settings.alert,
                   {c.serial, c.center, "送信", it->lastEnd, it->lastDetail,
                    "送信の結果が分かりません (相手に届いた可能性があります)。自動では再送しません。"});
        continue;
      }
      if (state->tries >= s.maxTries) {
        SetStatus(ctx.db(), c.serial, kFinal);
        ++report.finallyFailed;
        ctx.Log(run + ": " + TrArgs("再送の回数 ({1}) を使い切りました", {std::to_string(s.maxTries)}));
        RaiseAlert(ctx, settings.alert,
                   {c.serial, c.center, "送信", it->lastEnd, it->lastDetail,
                    "自動再送 " + std::to_string(state->tries) + " 回の後も失敗しています。"});
        continue;
      }
      if (NowSeconds() < state->next) {
        ++report.waiting;
        continue;
      }
      // The send path still holds the center's earlier result: no try, nothing counted.
      ResendPlan plan = PlanResend(ctx, c.serial);
      if (!plan.refusal.empty()) {
        ++report.waiting;
        ctx.Log(run + ": " + TrArgs("再送できません: {1}", {plan.refusal}));
        continue;
      }
      if (plan.method == "Z") {
        ControlRowResult control = LoadCenterControlRow(ctx.db(), c.center);
        if (control.code == "0000" && !ReadPackageSettings(ctx.ws.ini()).sendKeep) {
          if (auto waiting = WaitingHandOff(ctx.db(), c.center, control.row->Text("KMX送信ファイルパス"));
              waiting && waiting->serial != c.serial) {
            ++report.waiting;
            ctx.Log(run + ": " + TrArgs("送信先に未回収の結果 (通番 {1}) があるため待ちます", {SerialField(waiting->serial)}));
            continue;
          }
        }
      }
      const int triesMade = state->tries + 1;
      ctx.db().Execute("UPDATE EDI自動再送 SET 試行回数 = :1, 次回秒 = :2 WHERE 通番 = :3",
                       {static_cast<long long>(triesMade), NowSeconds() + IntervalSeconds(s, triesMade),
                        static_cast<long long>(c.serial)});
      ++report.tried;
      ctx.Log(run + ": " + TrArgs("自動再送 {1}/{2} 回目", {std::to_string(triesMade), std::to_string(s.maxTries)}));
      const ResendResult sent = Resend(ctx, c.serial, false, &lock, "retry");
      if (sent.code == "0000" || sent.needsForce) {
        SetStatus(ctx.db(), c.serial, kSent);
        if (sent.code == "0000") ++report.sent;
        ctx.Log(run + ": " + sent.message);
        continue;
      }
      ctx.Log(run + ": " + sent.message);
      if (sent.code == "5100" && sent.detailCode == mail::kMailOutcomeUnknown) {
        SetStatus(ctx.db(), c.serial, kUnknown);
        ++report.unknown;
        RaiseAlert(ctx, settings.alert,
                   {c.serial, c.center, "送信", sent.code, sent.detailCode,
                    "送信の結果が分かりません (相手に届いた可能性があります)。自動では再送しません。"});
      } else if (triesMade >= s.maxTries) {
        SetStatus(ctx.db(), c.serial, kFinal);
        ++report.finallyFailed;
        RaiseAlert(ctx, settings.alert,
                   {c.serial, c.center, "送信", sent.code, sent.detailCode.empty() ? " " : sent.detailCode,
                    "自動再送 " + std::to_string(triesMade) + " 回の後も失敗しています。"});
      }
    }
  } catch (const std::exception& e) {
    ctx.Log(TrArgs("再送: {1}", {e.what()}));
  }
  SendAlertSummaries(ctx, settings.alert);
  return report;
}

}  // namespace edi::run
