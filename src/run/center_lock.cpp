#include "run/center_lock.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include "app/catalogue.h"
#include "app/database.h"
#include "app/text.h"
#include "platform/process.h"
#include "platform/profile.h"

namespace edi::run {
namespace {

long long NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// The tokens of the claims this process holds now. A row that names this process with a
// token that is not among them was left behind (its release failed on a lost connection)
// and is taken over like the row of a process that is gone.
std::mutex& LiveMutex() {
  static std::mutex m;
  return m;
}
std::set<std::string>& LiveTokens() {
  static std::set<std::string> tokens;
  return tokens;
}
bool Live(const std::string& token) {
  std::lock_guard lock(LiveMutex());
  return LiveTokens().count(token) > 0;
}
void SetLive(const std::string& token, bool live) {
  std::lock_guard lock(LiveMutex());
  if (live) LiveTokens().insert(token);
  else LiveTokens().erase(token);
}

std::string HostIdentity() { return platform::BootIdentity(); }

std::string NewToken(const LockHolder& me) {
  static std::atomic<long long> counter{0};
  const auto ns = std::chrono::steady_clock::now().time_since_epoch().count();
  return me.host + "/" + me.process + "/" + std::to_string(ns) + "/" + std::to_string(++counter);
}

LockHolder FromRow(const Row& r) {
  LockHolder h;
  h.token = r.Text("保持識別");
  h.terminal = r.Text("端末名");
  h.host = r.Text("ホスト識別");
  h.process = r.Text("プロセス識別");
  h.purpose = r.Text("用件");
  h.since = r.Text("開始日時");
  try {
    h.refreshed = r.Int("更新秒");
  } catch (const std::exception&) {
    h.refreshed = 0;
  }
  return h;
}

}  // namespace

LockHolder ThisProcess(const std::string& terminal) {
  LockHolder me;
  me.terminal = terminal;
  me.host = HostIdentity();
  const long long pid = platform::CurrentProcessId();
  me.process = std::to_string(pid) + ":" + platform::ProcessStartStamp(pid);
  return me;
}

long long StaleAfterSeconds(int packageTimeoutSeconds) {
  if (packageTimeoutSeconds <= 0) return 12 * 3600;
  return std::max<long long>(3600, 4LL * packageTimeoutSeconds);
}

bool HolderProcessGone(const LockHolder& holder) {
  if (holder.host != HostIdentity()) return false;
  const auto colon = holder.process.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  long long pid = 0;
  try {
    pid = std::stoll(holder.process.substr(0, colon));
  } catch (const std::exception&) {
    return false;
  }
  if (pid <= 0) return false;
  const std::string start = platform::ProcessStartStamp(pid);
  // No such process, or the pid now belongs to a process started later.
  if (start.empty() || start != holder.process.substr(colon + 1)) return true;
  // This very process, with a claim it no longer holds.
  return pid == platform::CurrentProcessId() && !Live(holder.token);
}

std::string LockClaim::HolderText() const {
  if (!heldBy) return error;
  const std::string terminal = heldBy->purpose.empty() ? heldBy->terminal : heldBy->terminal + " (" + heldBy->purpose + ")";
  return TrArgs("端末 {1} が {2} から実行中", {terminal, heldBy->since});
}

std::optional<LockHolder> CurrentHolder(Database& db, const std::string& centerCode) {
  auto rows = db.Query("SELECT * FROM EDIセンター実行ロック WHERE センターコード = :1", {centerCode});
  if (rows.empty()) return std::nullopt;
  return FromRow(rows.front());
}

CenterLock::CenterLock(Database& db, LockHolder me, long long staleAfterSeconds)
    : db_(db), me_(std::move(me)), staleAfter_(staleAfterSeconds) {}

CenterLock::~CenterLock() { Release(); }

LockClaim CenterLock::Claim(const std::string& centerCode, const std::string& purpose) {
  Release();
  LockClaim claim;
  LockHolder mine = me_;
  mine.purpose = purpose;
  mine.token = NewToken(me_);
  mine.since = TodayYmd() + " " + NowHms();
  // Live from before its row can exist; no longer live when the claim does not succeed.
  SetLive(mine.token, true);
  struct UnlessTaken {
    const std::string& token;
    const LockClaim& claim;
    ~UnlessTaken() {
      if (!claim.taken) SetLive(token, false);
    }
  } unlessTaken{mine.token, claim};
  // A few rounds: the holder may release or be taken over between our statements.
  for (int round = 0; round < 5; ++round) {
    try {
      mine.refreshed = NowSeconds();
      try {
        db_.Execute(
            "INSERT INTO EDIセンター実行ロック (センターコード, 保持識別, 端末名, ホスト識別, プロセス識別, 用件, 開始日時, 更新秒)"
            " VALUES (:1, :2, :3, :4, :5, :6, :7, :8)",
            {centerCode, mine.token, mine.terminal, mine.host, mine.process, mine.purpose, mine.since, mine.refreshed});
        claim.taken = true;
      } catch (const DatabaseError& e) {
        if (!e.uniqueViolation) throw;
      }
      if (!claim.taken) {
        auto holder = CurrentHolder(db_, centerCode);
        if (!holder) continue;  // released in between: claim again
        const bool silent = holder->host != mine.host && NowSeconds() - holder->refreshed > staleAfter_;
        if (!HolderProcessGone(*holder) && !silent) {
          claim.heldBy = holder;
          return claim;
        }
        // Taken over only if the row still carries the token we judged.
        db_.Execute(
            "UPDATE EDIセンター実行ロック SET 保持識別 = :1, 端末名 = :2, ホスト識別 = :3, プロセス識別 = :4, 用件 = :5,"
            " 開始日時 = :6, 更新秒 = :7 WHERE センターコード = :8 AND 保持識別 = :9",
            {mine.token, mine.terminal, mine.host, mine.process, mine.purpose, mine.since, mine.refreshed, centerCode,
             holder->token});
        auto now = CurrentHolder(db_, centerCode);
        if (!now || now->token != mine.token) continue;  // another claim was faster: look again
        claim.taken = true;
        claim.tookOverFrom = holder;
      }
      center_ = centerCode;
      me_.token = mine.token;
      return claim;
    } catch (const std::exception& e) {
      claim.taken = false;
      claim.error = std::string("センターのロックを取れません: ") + e.what();
      return claim;
    }
  }
  claim.error = "センターのロックを取れません: 保持者が入れ替わり続けています";
  return claim;
}

void CenterLock::Touch() {
  if (center_.empty()) return;
  try {
    db_.Execute("UPDATE EDIセンター実行ロック SET 更新秒 = :1 WHERE センターコード = :2 AND 保持識別 = :3",
                {NowSeconds(), center_, me_.token});
  } catch (const std::exception&) {
  }
}

void CenterLock::Release() {
  if (center_.empty()) return;
  SetLive(me_.token, false);
  try {
    db_.Execute("DELETE FROM EDIセンター実行ロック WHERE センターコード = :1 AND 保持識別 = :2", {center_, me_.token});
  } catch (const std::exception&) {
    // Left behind: the next claim finds this process gone and takes the center over.
  }
  center_.clear();
}

}  // namespace edi::run
