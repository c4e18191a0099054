-- Tables of the EDI sending workstation. One text for SQLite and PostgreSQL: `edi db init`
-- runs it statement by statement (the program embeds this file at build time).
-- Names are used unquoted everywhere, except the four columns whose names begin with a
-- digit, which SQL only accepts in double quotes; those are quoted everywhere.
-- Dates and times are stored as text ("yyyy/mm/dd", "hh:nn:ss").

CREATE TABLE IF NOT EXISTS 区分マスタ (
  区分 TEXT NOT NULL,
  区分ｺｰﾄﾞ TEXT NOT NULL,
  区分名称 TEXT,
  PRIMARY KEY (区分, 区分ｺｰﾄﾞ)
);

CREATE TABLE IF NOT EXISTS FL1903EDI制御マスタ (
  センターコード TEXT NOT NULL PRIMARY KEY,
  センター名 TEXT,
  送受信方式 TEXT,
  実行端末名 TEXT,
  相手先種別 TEXT,
  KMX送信ファイルパス TEXT,
  送受信データ形式 TEXT,
  相手先メールアドレス TEXT
);

CREATE TABLE IF NOT EXISTS FL1102処理履歴ファイル (
  通番 INTEGER NOT NULL,
  枝番 INTEGER NOT NULL,
  送受信種別 TEXT,
  相手先種別 TEXT,
  処理種別 TEXT,
  処理開始日付 TEXT,
  処理開始時刻 TEXT,
  センターコード TEXT,
  処理終了日付 TEXT,
  処理終了時刻 TEXT,
  相手先企業コード TEXT,
  BPID TEXT,
  取引情報区分 TEXT,
  最終シーケンス番号 INTEGER,
  入力レコード数 INTEGER,
  入力ファイルサイズ INTEGER,
  出力レコード数 INTEGER,
  出力ファイルサイズ INTEGER,
  格納モード TEXT,
  終了コード TEXT,
  詳細コード TEXT,
  ファイル名 TEXT,
  PRIMARY KEY (通番, 枝番)
);

CREATE TABLE IF NOT EXISTS FL1914利用情報区分マスタ (
  相手先企業コード TEXT NOT NULL,
  送受信種別 TEXT NOT NULL,
  情報区分コード TEXT NOT NULL,
  表示順 INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE IF NOT EXISTS FL1915センタ利用企業マスタ (
  センターコード TEXT NOT NULL,
  相手先企業コード TEXT NOT NULL,
  表示順 INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE IF NOT EXISTS FL1916メッセージグループ情報マスタ (
  相手先コード TEXT NOT NULL,
  自社コード TEXT NOT NULL,
  情報区分 TEXT NOT NULL,
  BPID TEXT,
  運用モード TEXT,
  発信VANコード TEXT,
  発信センターコード TEXT,
  発信者コード TEXT,
  受信VANコード TEXT,
  受信センターコード TEXT,
  受信者コード TEXT,
  交換参照番号 TEXT,
  シンタックスIDバージョン TEXT,
  格納モード TEXT,
  "8ビット文字コード" TEXT,
  "16ビット文字コード" TEXT,
  短縮表示 TEXT,
  発信VANコード管理機関コード TEXT,
  発信センターコード管理機関コード TEXT,
  発信者コード管理機関コード TEXT,
  受信VANコード管理機関コード TEXT,
  受信センターコード管理機関コード TEXT,
  受信者コード管理機関コード TEXT
);

CREATE TABLE IF NOT EXISTS FL1902フォーマット情報マスタ (
  情報区分コード TEXT NOT NULL,
  BPID TEXT NOT NULL,
  様式識別 TEXT,
  シンタックスIDバージョン TEXT,
  格納モード TEXT,
  "1バイト文字集合" TEXT,
  "2バイト文字集合" TEXT,
  ローカル形式 TEXT,
  XML文字コード TEXT
);

CREATE TABLE IF NOT EXISTS FL1903レコードフォーマット情報マスタ (
  フォーマット種別 TEXT NOT NULL,
  情報区分コード TEXT NOT NULL,
  BPID TEXT NOT NULL,
  項目通番 INTEGER NOT NULL,
  対応項目通番 INTEGER,
  レベル番号 INTEGER,
  項目№ INTEGER,
  項目位置 TEXT,
  項目名称 TEXT,
  属性 TEXT,
  長さ INTEGER,
  小数部長さ INTEGER,
  マルチ明細番号 TEXT,
  繰返し数 INTEGER,
  固定項目値 TEXT,
  変換エラー対処 TEXT,
  PRIMARY KEY (フォーマット種別, 情報区分コード, BPID, 項目通番)
);

-- The runs of the history newest first (branch 0 by serial), with the columns that their
-- searches test, so that a search walks this index and reads only the rows it shows.
-- `edi db init` on an existing database adds it.
CREATE INDEX IF NOT EXISTS FL1102処理履歴ファイル_実行順 ON FL1102処理履歴ファイル (枝番, 通番, 処理開始日付, センターコード, 終了コード, 処理終了日付);

-- One run or resend per center at a time, across processes and workstations: a center's row
-- exists while some run holds it. The holder is named by terminal, host (name and boot), its
-- process (pid and start time) and a token of the claim; 更新秒 is refreshed while it works.
CREATE TABLE IF NOT EXISTS EDIセンター実行ロック (
  センターコード TEXT NOT NULL PRIMARY KEY,
  保持識別 TEXT NOT NULL,
  端末名 TEXT,
  ホスト識別 TEXT,
  プロセス識別 TEXT,
  用件 TEXT,
  開始日時 TEXT,
  更新秒 INTEGER
);

-- What the last hand-off of a center left at its package send path, so that a later run
-- can tell whether that file is still waiting there unchanged.
CREATE TABLE IF NOT EXISTS EDI送信待ちファイル (
  センターコード TEXT NOT NULL PRIMARY KEY,
  送信先 TEXT,
  通番 INTEGER,
  サイズ INTEGER,
  内容識別 TEXT
);

-- Automatic retry of failed sends: one row per run that the retry looked at.
CREATE TABLE IF NOT EXISTS EDI自動再送 (
  通番 INTEGER NOT NULL PRIMARY KEY,
  センターコード TEXT,
  試行回数 INTEGER NOT NULL DEFAULT 0,
  次回秒 INTEGER NOT NULL DEFAULT 0,
  状態 TEXT
);

-- Named values the unattended operation keeps (the moment retry was switched on, ...).
CREATE TABLE IF NOT EXISTS EDI運用記録 (
  項目 TEXT NOT NULL PRIMARY KEY,
  値 TEXT
);

-- Alert mails: how many went out in each hour, and the alerts held back for that hour's summary.
CREATE TABLE IF NOT EXISTS EDI警報 (
  時間帯 TEXT NOT NULL,
  連番 INTEGER NOT NULL,
  送信済 TEXT,
  内容 TEXT,
  PRIMARY KEY (時間帯, 連番)
);
