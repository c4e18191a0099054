-- Demo centers of the workstation. scripts/demo replaces @TERMINAL@ by this computer's name
-- and @WORKSPACE@ by the demo folder before loading.

INSERT INTO 区分マスタ (区分, 区分ｺｰﾄﾞ, 区分名称) VALUES ('送受信方式', 'Z', '通信ﾊﾟｯｹｰｼﾞ');
INSERT INTO 区分マスタ (区分, 区分ｺｰﾄﾞ, 区分名称) VALUES ('送受信方式', 'M', 'メール');

INSERT INTO FL1903EDI制御マスタ (センターコード, センター名, 送受信方式, 実行端末名, 相手先種別, KMX送信ファイルパス, 送受信データ形式, 相手先メールアドレス)
VALUES ('CENTER01', '東日本鋼材センター（CII）', 'Z', '@TERMINAL@', '2', '@WORKSPACE@/send/CENTER01.CII', 'C', NULL);
INSERT INTO FL1903EDI制御マスタ (センターコード, センター名, 送受信方式, 実行端末名, 相手先種別, KMX送信ファイルパス, 送受信データ形式, 相手先メールアドレス)
VALUES ('XMLCTR02', '西日本樹脂センター（XML）', 'Z', '@TERMINAL@', '2', '@WORKSPACE@/send/XMLCTR02.XML', 'X', NULL);
INSERT INTO FL1903EDI制御マスタ (センターコード, センター名, 送受信方式, 実行端末名, 相手先種別, KMX送信ファイルパス, 送受信データ形式, 相手先メールアドレス)
VALUES ('MAILCT03', '中部電材センター（メール）', 'M', '@TERMINAL@', '2', NULL, 'C', 'edi@partner.example');
-- A center of another terminal: never listed here.
INSERT INTO FL1903EDI制御マスタ (センターコード, センター名, 送受信方式, 実行端末名, 相手先種別, KMX送信ファイルパス, 送受信データ形式, 相手先メールアドレス)
VALUES ('OTHERWS9', '他端末センター', 'Z', 'ANOTHER-WS', '2', '@WORKSPACE@/send/OTHER.CII', 'C', NULL);

INSERT INTO FL1915センタ利用企業マスタ (センターコード, 相手先企業コード, 表示順) VALUES ('CENTER01', 'MAKER001', 1);
INSERT INTO FL1915センタ利用企業マスタ (センターコード, 相手先企業コード, 表示順) VALUES ('XMLCTR02', 'MAKER002', 1);
INSERT INTO FL1915センタ利用企業マスタ (センターコード, 相手先企業コード, 表示順) VALUES ('MAILCT03', 'MAKER003', 1);

INSERT INTO FL1914利用情報区分マスタ (相手先企業コード, 送受信種別, 情報区分コード, 表示順) VALUES ('CENTER01', 'S', '0101', 1);
INSERT INTO FL1914利用情報区分マスタ (相手先企業コード, 送受信種別, 情報区分コード, 表示順) VALUES ('XMLCTR02', 'S', '0101', 1);
INSERT INTO FL1914利用情報区分マスタ (相手先企業コード, 送受信種別, 情報区分コード, 表示順) VALUES ('MAILCT03', 'S', '0101', 1);
