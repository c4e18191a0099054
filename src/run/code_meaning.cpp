#include "run/code_meaning.h"

#include <map>

#include "app/catalogue.h"
#include "app/text.h"
#include "run/run_close.h"
#include "run/run_stop.h"

namespace edi::run {
namespace {

// The translators' codes (CII writer and reader, XML conversions): what was found.
const std::map<std::string, std::string>& TranslatorCodes() {
  static const std::map<std::string, std::string> codes = {
      {"0001", TrMark("メッセージグループ情報マスタ (FL1916) に相手先・自社・情報区分の行がありません")},
      {"0002", TrMark("フォーマット情報マスタ (FL1902) に行がありません")},
      {"0003", TrMark("レコードフォーマット (FL1903) の E 側の行がありません")},
      {"0004", TrMark("レコードフォーマット (FL1903) の L 側の行がありません")},
      {"0005", TrMark("マルチ明細番号を符号にできません")},
      {"0006", TrMark("項目№を符号にできません")},
      {"0007", TrMark("CII ファイルが途中で切れています (ブロックの途中、またはトレーラなしで終わっています)")},
      {"0008", TrMark("ブロックの識別子が正しくありません (読み飛ばし)")},
      {"0009", TrMark("長さの先頭バイトが正しくありません (読み飛ばし)")},
      {"0010", TrMark("タグの位置に意味のない制御バイトがあります (読み飛ばし)")},
      {"0011", TrMark("1 バイトタグのモードに 2 バイトのマルチ明細があります (読み飛ばし)")},
      {"0012", TrMark("メッセージの長さが終わりの位置と合いません")},
      {"0013", TrMark("タグの位置に意味のないバイトがあります (読み飛ばし)")},
      {"0014", TrMark("グループの開始に対応するグループ項目がフォーマットにありません")},
      {"0015", TrMark("長さ 0 のデータエレメントがあります")},
      {"0021", TrMark("変換できない属性の組み合わせです")},
      {"0022", TrMark("項目テーブルの順序が正しくありません (edi format check で確認できます)")},
      {"0023", TrMark("入力ファイルがないか読めません")},
      {"0024", TrMark("出力ファイルを開けません (フォルダがない、リンクである等)")},
      {"0025", TrMark("39 バイトのキーがない行があります")},
      {"0026", TrMark("レイアウトより短い行があります (足りない項目は空として変換)")},
      {"0027", TrMark("Shift_JIS として正しくないバイトがある行があります")},
      {"0028", TrMark("行・エレメント・メッセージが長すぎます")},
      {"0029", TrMark("出力を書けません (ディスクが一杯等)")},
      {"0030", TrMark("マスタを読めません (データベースの障害、正しくない行)")},
      {"0031", TrMark("格納モードが M、S、空白のいずれでもありません")},
      {"0032", TrMark("1 つのメッセージグループのメッセージが 99999 を超えます")},
      {"0033", TrMark("ローカルレコードの外に出るエレメントがあります (読み飛ばし)")},
      {"0034", TrMark("ヘッダの前にメッセージがあります")},
      {"0035", TrMark("変換中の予期しない障害です")},
      {"0036", TrMark("変換ログ ERR.LOG を書けません")},
      {"0037", TrMark("CII ファイルではありません")},
      {"0040", TrMark("XML 文書を解析できません (または DOCTYPE を含みます)")},
      {"0041", TrMark("項目のないデータエレメントがあります (読み飛ばし)")},
      {"0042", TrMark("1 つの CII ファイルに 2 つ目のメッセージグループがあります")},
      {"0044", TrMark("16 進数の対になっていない B 属性の値があります")},
      {"0045", TrMark("XML 文書に書けない文字があります (? で書きました)")},
      {"0046", TrMark("16 MiB を超える XML の単位があります")},
  };
  return codes;
}

}  // namespace

std::string EndCodeMeaning(const std::string& endCode) {
  const std::string code = TrimSpaces(endCode);
  if (code == "0000") return Tr("正常終了");
  if (code == "9999") return Tr("失敗: 履歴の書込み、状態ファイルの結果、制御マスタ、送信ファイル、メール送信のいずれか (詳細コードと変換ログを参照)");
  if (code == "4100") return Tr("データ抽出の失敗: 通信パッケージ (詳細コードを参照)");
  if (code == "7300") return Tr("データ抽出の失敗: センタ利用企業マスタ (FL1915) に相手先企業がありません");
  if (code == "7200") return Tr("変換の失敗: 送信ファイルがないか、ファイルの変換に失敗しました (各ファイルの行と変換ログを参照)");
  if (code == "7002") return Tr("送信の失敗: EDI制御マスタ (FL1903) の行がないか読めません");
  if (code == "6102") return Tr("送信の失敗: 送信方式 Z ですが KMX送信ファイルパスが空です");
  if (code == "5100") return Tr("送信の失敗 (詳細コードを参照)");
  if (code == kStoppedCode) return Tr("中止: 実行が止められたか、終了していない実行を手動で閉じました (詳細コードを参照)");
  auto it = TranslatorCodes().find(code);
  if (it != TranslatorCodes().end()) return TrArgs("変換結果 {1}: {2}", {code, Tr(it->second.c_str())});
  return {};
}

std::string DetailCodeMeaning(const std::string& endCode, const std::string& detailCode) {
  const std::string end = TrimSpaces(endCode), detail = TrimSpaces(detailCode);
  if (detail.empty() || detail == end) return {};
  if (end == "4100") {
    if (detail == "0001") return Tr("通信パッケージを起動できません (コマンド、パラメータファイル、前回のステータスファイル)");
    if (detail == "0002") return Tr("通信パッケージがステータスファイルを残しませんでした");
    if (detail == "0003") return Tr("通信パッケージが時間内 (MGTIMEOUT) に終わりませんでした");
  }
  if (end == "7300" && detail == "0001") return Tr("相手先企業がないか、マスタを読めません");
  if (end == "5100") {
    if (detail == "0002") return Tr("送信ファイルを通信パッケージの送信パスに渡せません (権限、リンク、ディスク)");
    if (detail == "9999") return Tr("メール送信に失敗しました (理由は変換ログ ERR.LOG)");
  }
  if (end == kStoppedCode) {
    if (detail == kClosedByHandDetail) return Tr("終了していない実行を手動で閉じました (edi history close / 処理履歴照会)");
    if (detail == "0015") return Tr("SIGTERM で止められました");
    if (detail == "0002") return Tr("SIGINT で止められました");
    if (detail == "0001") return Tr("SIGHUP で止められました");
    if (detail == "0000") return Tr("画面が閉じられたため止めました");
  }
  return {};
}

}  // namespace edi::run
