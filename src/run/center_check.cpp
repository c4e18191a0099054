#include "run/center_check.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "app/catalogue.h"
#include "app/database.h"
#include "app/text.h"
#include "cii/format_check.h"
#include "run/package_handoff.h"
#include "run/send_dispatch.h"

namespace edi::run {

namespace {

// The faults of one center, added in the order a run would meet them.
class CenterChecker {
 public:
  CenterChecker(Database& db, const PackageSettings& package, const std::set<std::string>& terminals,
                std::vector<CenterFault>& faults)
      : db_(db), package_(package), terminals_(terminals), faults_(faults) {}

  void Check(const std::string& center) {
    auto rows = db_.Query("SELECT * FROM FL1903EDI制御マスタ WHERE センターコード = :1", {center});
    if (rows.empty()) {
      Fault(center, "", "", center_rule::kNoCenter, Tr("FL1903EDI制御マスタに行がありません"));
      return;
    }
    const Row& row = rows.front();
    ControlRow(center, row);
    Partners(center);
    const std::string terminal = row.Text("実行端末名");
    if (!terminals_.count(terminal))
      Fault(center, "", "", center_rule::kTerminal,
            TrArgs("実行端末名 {1} を名乗る端末がありません (この端末の画面にも edi run --all にも出ません)",
                   {cii::Echo(terminal)}),
            true);
  }

 private:
  void Fault(const std::string& center, const std::string& partner, const std::string& category, const char* rule,
             std::string message, bool warning = false) {
    faults_.push_back({center, partner, category, rule, std::move(message), warning});
  }

  void ControlRow(const std::string& center, const Row& row) {
    const std::string method = row.Text("送受信方式");
    if (method == "Z") {
      const std::string path = TrimSpaces(row.Text("KMX送信ファイルパス"));
      if (path.empty()) {
        Fault(center, "", "", center_rule::kSendPath, Tr("KMX送信ファイルパスが空です (送信で 6102 になります)"));
      } else {
        std::filesystem::path folder = std::filesystem::path(path).parent_path();
        if (folder.empty()) folder = ".";
        std::error_code ec;
        if (!std::filesystem::is_directory(folder, ec))
          Fault(center, "", "", center_rule::kSendPath, TrArgs("送信先のフォルダ {1} がありません", {folder.string()}));
        else if (::access(folder.c_str(), W_OK | X_OK) != 0)
          Fault(center, "", "", center_rule::kSendPath, TrArgs("送信先のフォルダ {1} に書き込めません", {folder.string()}));
      }
    } else if (method == "M") {
      const std::string address = row.Text("相手先メールアドレス");
      if (TrimSpaces(address).empty())
        Fault(center, "", "", center_rule::kMailAddress, Tr("相手先メールアドレスが空です"));
      else if (!LooksLikeMailAddress(address))
        Fault(center, "", "", center_rule::kMailAddress,
              TrArgs("相手先メールアドレス {1} はメールアドレスの形をしていません", {cii::Echo(address)}));
    } else {
      Fault(center, "", "", center_rule::kMethod,
            TrArgs("送受信方式 {1} は Z (通信パッケージ) でも M (メール) でもありません: 実行しても何も送りません",
                   {cii::Echo(method)}));
    }
    if (DataFormatExtension(row.Text("送受信データ形式")) == "Err")
      Fault(center, "", "", center_rule::kDataFormat,
            TrArgs("送受信データ形式 {1} は C (CII) でも X (XML) でもありません", {cii::Echo(row.Text("送受信データ形式"))}));
  }

  void Partners(const std::string& center) {
    std::vector<std::string> partners;
    if (!LoadCenterPartners(db_, center, partners).ok()) {
      Fault(center, "", "", center_rule::kPartners, Tr("FL1915センタ利用企業マスタに相手先企業がありません (抽出で 7300 になります)"));
      return;
    }
    // The information codes are the center's (FL1914 by center code, else JKBN_J_S): the same for every partner.
    const std::vector<std::string> codes = LoadInfoCodes(db_, center, package_);
    for (const std::string& partner : partners) {
      if (codes.empty()) {
        Fault(center, partner, "", center_rule::kCategories,
              Tr("情報区分がありません (FL1914利用情報区分マスタにも EDI.ini の JKBN_J_S にもありません)"));
        continue;
      }
      for (const std::string& code : codes) Category(center, partner, code);
    }
  }

  // The message groups of a category for this center or partner (any own company), each with
  // its format: FL1902 and FL1903 rows, and a layout that the format check finds sound.
  void Category(const std::string& center, const std::string& partner, const std::string& code) {
    std::set<std::string> bpids;
    for (const Row& g : db_.Query("SELECT 相手先コード, BPID FROM FL1916メッセージグループ情報マスタ WHERE 情報区分 = :1", {code})) {
      const std::string who = TrimSpaces(g.Text("相手先コード"));
      if (who == center || who == partner) bpids.insert(g.Text("BPID"));
    }
    if (bpids.empty()) {
      Fault(center, partner, code, center_rule::kMessageGroup,
            TrArgs("FL1916メッセージグループ情報マスタに相手先コード {1} または {2} の情報区分 {3} の行がありません",
                   {center, partner, code}));
      return;
    }
    for (const std::string& bpid : bpids) {
      auto [it, fresh] = formats_.try_emplace(code + '\x1F' + bpid);
      if (fresh) it->second = FormatFaults(code, bpid);
      for (const std::string& why : it->second) Fault(center, partner, code, center_rule::kFormat, why);
    }
  }

  std::vector<std::string> FormatFaults(const std::string& code, const std::string& bpid) {
    std::vector<std::string> out;
    const auto count = [&](const char* sql) {
      return db_.Query(sql, {code, bpid}).front().Int("n");
    };
    if (count("SELECT COUNT(*) AS n FROM FL1902フォーマット情報マスタ WHERE 情報区分コード = :1 AND BPID = :2") == 0)
      out.push_back(TrArgs("BPID {1}: FL1902フォーマット情報マスタに行がありません", {bpid}));
    if (count("SELECT COUNT(*) AS n FROM FL1903レコードフォーマット情報マスタ WHERE 情報区分コード = :1 AND BPID = :2") == 0)
      out.push_back(TrArgs("BPID {1}: FL1903レコードフォーマット情報マスタに行がありません", {bpid}));
    if (!out.empty()) return out;
    const cii::LayoutCheckResult r = cii::CheckLayouts(db_, cii::FormatFilter{code, bpid});
    if (!r.faults.empty())
      out.push_back(TrArgs("BPID {1}: edi format check が {2} 件の誤りを見つけました (最初: {3})",
                           {bpid, std::to_string(r.faults.size()), cii::Describe(r.faults.front())}));
    return out;
  }

  Database& db_;
  const PackageSettings& package_;
  const std::set<std::string>& terminals_;
  std::vector<CenterFault>& faults_;
  std::map<std::string, std::vector<std::string>> formats_;  // category + BPID → its faults, checked once
};

}  // namespace

std::string Describe(const CenterFault& f) {
  auto part = [](const std::string& s) { return s.empty() ? std::string("-") : s; };
  return part(f.center) + " " + part(f.partner) + " " + part(f.category) + " [" + f.rule + "] " +
         (f.warning ? std::string(Tr("警告: ")) : std::string()) + f.message;
}

int CenterCheckResult::errors() const {
  return static_cast<int>(std::count_if(faults.begin(), faults.end(), [](const CenterFault& f) { return !f.warning; }));
}

CenterCheckResult CheckCenters(Database& db, const std::vector<std::string>& centers, const PackageSettings& package,
                               const std::set<std::string>& knownTerminals) {
  CenterCheckResult result;
  std::vector<std::string> codes = centers;
  if (codes.empty())
    for (const Row& r : db.Query("SELECT センターコード FROM FL1903EDI制御マスタ ORDER BY センターコード"))
      codes.push_back(r.Text("センターコード"));
  CenterChecker checker(db, package, knownTerminals, result.faults);
  for (const std::string& code : codes) {
    checker.Check(code);
    ++result.centers;
  }
  return result;
}

std::set<std::string> KnownTerminals(Database& db, const std::string& thisTerminal) {
  std::set<std::string> names{thisTerminal};
  for (const Row& r : db.Query("SELECT DISTINCT 端末名 FROM EDIセンター実行ロック")) names.insert(r.Text("端末名"));
  return names;
}

bool LooksLikeMailAddress(const std::string& address) {
  const std::size_t at = address.find('@');
  if (at == std::string::npos || at == 0 || address.find('@', at + 1) != std::string::npos) return false;
  for (unsigned char c : address)
    if (c <= 0x20 || c == 0x7F || std::string_view("<>()[],;:\"\\").find(static_cast<char>(c)) != std::string_view::npos)
      return false;
  const std::string domain = address.substr(at + 1);
  const std::size_t dot = domain.find('.');
  return dot != std::string::npos && dot > 0 && domain.back() != '.' && domain.find("..") == std::string::npos;
}

}  // namespace edi::run
