// One run per center at a time, across processes and workstations that share the database.
// A center is held while its row exists in EDIセンター実行ロック; the row is made by a plain
// INSERT, so that of two claims at the same moment the unique key lets exactly one through.
// A holder that is gone (its process ended on this host, or its row has not been refreshed
// for far longer than a run may take on another host) is taken over by a conditional UPDATE
// on the token it left, so that of two take-overs only one wins.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace edi {
class Database;
}

namespace edi::run {

// Who holds (or wants) a center.
struct LockHolder {
  std::string terminal;   // the workstation's terminal name
  std::string host;       // host name and boot identity: the same text only on the same boot of one machine
  std::string process;    // "pid:start time" of the process on that host
  std::string purpose;    // "run", "resend 00000012", "retry 00000012"
  std::string since;      // "yyyy/mm/dd hh:nn:ss" when the center was taken
  long long refreshed = 0;  // seconds since the epoch of the holder's last sign of life
  std::string token;      // the claim's own token
};

// This process as a holder: host and process identity filled in.
LockHolder ThisProcess(const std::string& terminal);

// How long a holder on another host may stay silent before it counts as gone: four package
// time-outs (MGTIMEOUT) or an hour, whichever is longer; twelve hours when the package waits
// without limit.
long long StaleAfterSeconds(int packageTimeoutSeconds);

// True when the process the holder names is known to be gone: same host and boot, and no
// process with that pid and start time.
bool HolderProcessGone(const LockHolder& holder);

struct LockClaim {
  bool taken = false;
  std::optional<LockHolder> heldBy;       // not taken: who holds the center
  std::optional<LockHolder> tookOverFrom; // taken from a holder that was gone
  std::string error;                      // not taken because the database failed
  // One readable line on the holder ("端末 T2 (resend 00000012) が 2026/12/09 01:02:03 から実行中").
  std::string HolderText() const;
};

class CenterLock {
 public:
  CenterLock(Database& db, LockHolder me, long long staleAfterSeconds);
  ~CenterLock();  // releases what is still held
  CenterLock(const CenterLock&) = delete;
  CenterLock& operator=(const CenterLock&) = delete;

  // Claims the center for `purpose`. Never throws. A CenterLock holds one center at a time:
  // a claim while holding releases the earlier one first.
  LockClaim Claim(const std::string& centerCode, const std::string& purpose);
  // Refreshes the sign of life of the held center (long steps call this). Never throws.
  void Touch();
  // Gives the center back; only the row of this claim is removed. Never throws.
  void Release();
  bool held() const { return !center_.empty(); }
  const std::string& center() const { return center_; }  // the center held, "" when none

 private:
  Database& db_;
  LockHolder me_;
  long long staleAfter_;
  std::string center_;
};

// The current holder of a center, if any. Throws DatabaseError.
std::optional<LockHolder> CurrentHolder(Database& db, const std::string& centerCode);

}  // namespace edi::run
