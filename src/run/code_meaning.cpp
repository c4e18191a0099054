#include "run/code_meaning.h"

#include <map>

#include "app/text.h"
#include "run/run_close.h"
#include "run/run_stop.h"

namespace edi::run {
namespace {

// The translators' codes (CII writer and reader, XML conversions): what was found.
const std::map<std::string, std::string>& TranslatorCodes() {
  static const std::map<std::string, std::string> codes = {
      {"0001", "メッセージグループ情報マスタ (FL1916) に相手先・自社・情報区分の行がありません"},
      {"0002", "フォーマット情報マスタ (FL1902) に行がありません"},
      {"0003", "レコードフォーマット (FL1903) の E 側の行がありません"},
      {"0004", "レコードフォーマット (FL1903) の L 側の行がありません"},
      {"0005", "マルチ明細番号を符号にできません"},
      {"0006", "項目№を符号にできません"},
      {"0007", "CII ファイルが途中で切れています (ブロックの途中、またはトレーラなしで終わっています)"},
      {"0008", "ブロックの識別子が正しくありません (読み飛ばし)"},
      {"0009", "長さの先頭バイトが正しくありません (読み飛ばし)"},
      {"0010", "タグの位置に意味のない制御バイトがあります (読み飛ばし)"},
      {"0011", "1 バイトタグのモードに 2 バイトのマルチ明細があります (読み飛ばし)"},
      {"0012", "メッセージの長さが終わりの位置と合いません"},
      {"0013", "タグの位置に意味のないバイトがあります (読み飛ばし)"},
      {"0014", "グループの開始に対応するグループ項目がフォーマットにありません"},
      {"0015", "長さ 0 のデータエレメントがあります"},
      {"0021", "変換できない属性の組み合わせです"},
      {"0022", "項目テーブルの順序が正しくありません (edi format check で確認できます)"},
      {"0023", "入力ファイルがないか読めません"},
      {"0024", "出力ファイルを開けません (フォルダがない、リンクである等)"},
      {"0025", "39 バイトのキーがない行があります"},
      {"0026", "レイアウトより短い行があります (足りない項目は空として変換)"},
      {"0027", "Shift_JIS として正しくないバイトがある行があります"},
      {"0028", "行・エレメント・メッセージが長すぎます"},
      {"0029", "出力を書けません (ディスクが一杯等)"},
      {"0030", "マスタを読めません (データベースの障害、正しくない行)"},
      {"0031", "格納モードが M、S、空白のいずれでもありません"},
      {"0032", "1 つのメッセージグループのメッセージが 99999 を超えます"},
      {"0033", "ローカルレコードの外に出るエレメントがあります (読み飛ばし)"},
      {"0034", "ヘッダの前にメッセージがあります"},
      {"0035", "変換中の予期しない障害です"},
      {"0036", "変換ログ ERR.LOG を書けません"},
      {"0037", "CII ファイルではありません"},
      {"0040", "XML 文書を解析できません (または DOCTYPE を含みます)"},
      {"0041", "項目のないデータエレメントがあります (読み飛ばし)"},
      {"0042", "1 つの CII ファイルに 2 つ目のメッセージグループがあります"},
      {"0044", "16 進数の対になっていない B 属性の値があります"},
      {"0045", "XML 文書に書けない文字があります (? で書きました)"},
      {"0046", "16 MiB を超える XML の単位があります"},
  };
  return codes;
}

}  // namespace

std::string EndCodeMeaning(const std::string& endCode) {
  const std::string code = TrimSpaces(endCode);
  if (code == "0000") return "正常終了";
  if (code == "9999") return "失敗: 履歴の書込み、状態ファイルの結果、制御マスタ、送信ファイル、メール送信のいずれか (詳細コードと変換ログを参照)";
  if (code == "4100") return "データ抽出の失敗: 通信パッケージ (詳細コードを参照)";
  if (code == "7300") return "データ抽出の失敗: センタ利用企業マスタ (FL1915) に相手先企業がありません";
  if (code == "7200") return "変換の失敗: 送信ファイルがないか、ファイルの変換に失敗しました (各ファイルの行と変換ログを参照)";
  if (code == "7002") return "送信の失敗: EDI制御マスタ (FL1903) の行がないか読めません";
  if (code == "6102") return "送信の失敗: 送信方式 Z ですが KMX送信ファイルパスが空です";
  if (code == "5100") return "送信の失敗 (詳細コードを参照)";
  if (code == kStoppedCode) return "中止: 実行が止められたか、終了していない実行を手動で閉じました (詳細コードを参照)";
  auto it = TranslatorCodes().find(code);
  if (it != TranslatorCodes().end()) return "変換結果 " + code + ": " + it->second;
  return {};
}

std::string DetailCodeMeaning(const std::string& endCode, const std::string& detailCode) {
  const std::string end = TrimSpaces(endCode), detail = TrimSpaces(detailCode);
  if (detail.empty() || detail == end) return {};
  if (end == "4100") {
    if (detail == "0001") return "通信パッケージを起動できません (コマンド、パラメータファイル、前回のステータスファイル)";
    if (detail == "0002") return "通信パッケージがステータスファイルを残しませんでした";
    if (detail == "0003") return "通信パッケージが時間内 (MGTIMEOUT) に終わりませんでした";
  }
  if (end == "7300" && detail == "0001") return "相手先企業がないか、マスタを読めません";
  if (end == "5100") {
    if (detail == "0002") return "送信ファイルを通信パッケージの送信パスに渡せません (権限、リンク、ディスク)";
    if (detail == "9999") return "メール送信に失敗しました (理由は変換ログ ERR.LOG)";
  }
  if (end == kStoppedCode) {
    if (detail == kClosedByHandDetail) return "終了していない実行を手動で閉じました (edi history close / 処理履歴照会)";
    if (detail == "0015") return "SIGTERM で止められました";
    if (detail == "0002") return "SIGINT で止められました";
    if (detail == "0001") return "SIGHUP で止められました";
    if (detail == "0000") return "画面が閉じられたため止めました";
  }
  return {};
}

}  // namespace edi::run
