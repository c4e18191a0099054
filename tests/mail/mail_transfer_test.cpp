// Whole mail transfers: the checks before any connection, and sending and receiving against
// the real servers of scripts/services/mail.
#include <gtest/gtest.h>

#include "mail/mail_names.h"
#include "mail/mail_transfer.h"
#include "mail/mime_message.h"
#include "mail_fixture.h"

namespace edi::mail {
namespace {

using test::MailWorkspace;
using test::RecordingProgress;

const std::vector<std::string> kSendLinesUntilStart = {"パラメータチェック", "INIファイル読込み", "送信処理開始"};

TransferFileRecord SendRecord(const std::string& address, const std::string& format = "C") {
  TransferFileRecord rec;
  rec.centerCode = "C1";
  rec.serial = 12;
  rec.direction = "S";
  rec.dataFormat = format;
  rec.address = address;
  return rec;
}

TEST(MailTransferChecks, BadParametersFailWithoutAMessageBox) {
  MailWorkspace ws;
  ws.WriteIni("u", "p", "", "smtp://127.0.0.1:1", "imap://127.0.0.1:1", "edi@example.jp");
  std::vector<TransferFileRecord> bad(6, SendRecord("partner@example.com"));
  bad[0].centerCode = "";
  bad[1].direction = "s";
  bad[2].dataFormat = "x";
  bad[3].dataFormat = "Y";
  bad[4].address = "";
  bad[5].centerCode = "../C1";  // would name a file outside the mail folders
  for (auto& rec : bad) {
    RecordingProgress progress;
    EXPECT_EQ(MailTransfer(rec, ws.env(), progress), 9);
    EXPECT_EQ(rec.result, "9999");
    EXPECT_TRUE(progress.lines.empty());
    EXPECT_TRUE(progress.errors.empty());
    EXPECT_EQ(progress.opened, 1);
    EXPECT_EQ(progress.closed, 1);
  }
}

TEST(MailTransferChecks, UnreadableSettingsFailTheStepWithTheIniMessage) {
  MailWorkspace ws;
  auto rec = SendRecord("partner@example.com");
  MailEnvironment env = ws.env();
  env.iniPath.clear();  // no configuration folder
  RecordingProgress progress;
  EXPECT_EQ(MailTransfer(rec, env, progress), 9);
  EXPECT_EQ(rec.result, "9999");
  EXPECT_EQ(progress.lines, std::vector<std::string>{"パラメータチェック"});
  EXPECT_EQ(progress.errors, std::vector<std::string>{"INIﾌｧｲﾙ読込エラー"});
  EXPECT_EQ(progress.closed, 1);
}

TEST(MailTransferChecks, NoMatchingFileSucceedsWithoutConnecting) {
  MailWorkspace ws;
  // Nothing listens on port 1: any connection attempt would fail the transfer.
  ws.WriteIni("u", "p", "", "smtp://127.0.0.1:1", "", "edi@example.jp");
  // Files of another serial and the run's files before conversion do not count.
  edi::test::WriteBytes(ws.out() / "00000013_SND_C1__________.CII", "x");
  edi::test::WriteBytes(ws.out() / "00000012_SND_C1__________0101.LOC", "x");
  for (const char* format : {"C", "X"}) {
    auto rec = SendRecord("partner@example.com", format);
    RecordingProgress progress;
    EXPECT_EQ(MailTransfer(rec, ws.env(), progress), 0);
    EXPECT_EQ(rec.result, "0000");
    auto expected = kSendLinesUntilStart;
    expected.push_back("送信添付ファイルなし");
    EXPECT_EQ(progress.lines, expected);
    EXPECT_TRUE(progress.errors.empty());
  }
}

TEST(MailTransferChecks, UnreachableServerFailsWithTheCurlError) {
  MailWorkspace ws;
  ws.WriteIni("u", "p", "", "smtp://127.0.0.1:1", "imap://127.0.0.1:1", "edi@example.jp");
  edi::test::WriteBytes(ws.out() / AttachmentFileName(12, "C1", "C"), "x");
  for (const char* direction : {"S", "R"}) {
    auto rec = SendRecord("partner@example.com");
    rec.direction = direction;
    RecordingProgress progress;
    EXPECT_EQ(MailTransfer(rec, ws.env(), progress), 9);
    EXPECT_EQ(rec.result, "9999");
    ASSERT_EQ(progress.errors.size(), 1u);
    EXPECT_EQ(progress.errors[0].rfind("Error 7: メールサーバに接続できません: ", 0), 0u) << progress.errors[0];
    EXPECT_EQ(progress.closed, 1);
  }
}

class MailServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto servers = test::TestServers();
    if (!servers) GTEST_SKIP() << "no test mail servers (scripts/services/mail start DIR)";
    servers_ = *servers;
  }
  test::MailServers servers_;
  MailWorkspace ws_;
};

TEST_F(MailServerTest, SentMessageArrivesWithSubjectBodySenderRecipientAndFile) {
  ws_.WriteIni(servers_.user, servers_.password, R"(EDIデータを送付します\n株式会社サンプル)",
               servers_.smtpUrl, servers_.imapUrl, "EDI送信 <edi@maker.example>");
  std::string bytes = "\x1b\x02HDR\x82\xa0\x82\xa2\r\n.\r\n";  // control bytes, Shift_JIS, a dot line
  bytes += std::string(5000, '\x81');
  const std::string name = AttachmentFileName(12, "C1", "C");
  edi::test::WriteBytes(ws_.out() / name, bytes);
  const std::string address = test::UniqueAddress("send");
  auto rec = SendRecord(address);
  RecordingProgress progress;

  ASSERT_EQ(MailTransfer(rec, ws_.env(), progress), 0) << (progress.errors.empty() ? "" : progress.errors[0]);
  EXPECT_EQ(rec.result, "0000");
  auto expected = kSendLinesUntilStart;
  for (const char* l : {"ログオン", "メッセージを作成", "Pi_Rec.Pi_相手先メールアドレス"}) expected.push_back(l);
  expected.push_back(address);
  for (const char* l : {"受信者オブジェクトの作成", "添付ファイル作成", "送信", "ログオフ"}) expected.push_back(l);
  EXPECT_EQ(progress.lines, expected);

  const auto arrived = test::ArrivedMessages(servers_.smtpMaildir, address);
  ASSERT_EQ(arrived.size(), 1u);
  EXPECT_NE(arrived[0].find("X-MailFrom: edi@maker.example"), std::string::npos);
  const IncomingMail mail = ParseMessage(arrived[0]);
  EXPECT_EQ(mail.subject.rfind("EDIデータ", 0), 0u);
  EXPECT_EQ(mail.subject.substr(mail.subject.size() - std::string("送信").size()), "送信");
  EXPECT_EQ(mail.subject.size(), std::string("EDIデータ送信").size() + 19);
  EXPECT_EQ(mail.from, "edi@maker.example");
  EXPECT_EQ(mail.recipients, std::vector<std::string>{address});
  EXPECT_EQ(mail.text, "EDIデータを送付します\r\n株式会社サンプル");
  ASSERT_TRUE(mail.hasAttachment);
  EXPECT_EQ(mail.attachmentName, name);
  EXPECT_EQ(mail.attachment, bytes);
}

TEST_F(MailServerTest, XmlFormatSendsTheXmlResultFile) {
  ws_.WriteIni(servers_.user, servers_.password, "", servers_.smtpUrl, servers_.imapUrl, "edi@maker.example");
  const std::string name = AttachmentFileName(12, "C1", "X");
  edi::test::WriteBytes(ws_.out() / name, "<?xml version=\"1.0\"?><a/>");
  edi::test::WriteBytes(ws_.out() / AttachmentFileName(12, "C1", "C"), "cii");
  const std::string address = test::UniqueAddress("xml");
  auto rec = SendRecord(address, "X");
  RecordingProgress progress;
  ASSERT_EQ(MailTransfer(rec, ws_.env(), progress), 0) << (progress.errors.empty() ? "" : progress.errors[0]);
  const auto arrived = test::ArrivedMessages(servers_.smtpMaildir, address);
  ASSERT_EQ(arrived.size(), 1u);
  const IncomingMail mail = ParseMessage(arrived[0]);
  EXPECT_EQ(mail.attachmentName, name);
  EXPECT_EQ(mail.attachment, "<?xml version=\"1.0\"?><a/>");
}

TEST_F(MailServerTest, RefusedSignOnShowsTheErrorAndSendsNothing) {
  ws_.WriteIni(servers_.user, "wrong-password", "", servers_.smtpUrl, servers_.imapUrl, "edi@maker.example");
  edi::test::WriteBytes(ws_.out() / AttachmentFileName(12, "C1", "C"), "x");
  const std::string address = test::UniqueAddress("refused");
  auto rec = SendRecord(address);
  RecordingProgress progress;
  EXPECT_EQ(MailTransfer(rec, ws_.env(), progress), 9);
  EXPECT_EQ(rec.result, "9999");
  EXPECT_EQ(progress.lines, kSendLinesUntilStart);
  ASSERT_EQ(progress.errors.size(), 1u);
  EXPECT_EQ(progress.errors[0].rfind("Error 67: メールサーバへのサインオンが拒否されました: ", 0), 0u)
      << progress.errors[0];
  EXPECT_EQ(progress.closed, 1);
  EXPECT_TRUE(test::ArrivedMessages(servers_.smtpMaildir, address).empty());
}

// A server that refuses the message after its data: the operator reads the server's answer
// with its meaning in Japanese, and the record keeps the same text for the run's log.
TEST_F(MailServerTest, AServersRefusalIsToldInItsOwnWordsWithItsMeaning) {
  ws_.WriteIni(servers_.user, servers_.password, "", servers_.smtpUrl, servers_.imapUrl, "edi@maker.example");
  edi::test::WriteBytes(ws_.out() / AttachmentFileName(12, "C1", "C"), "x");
  const std::string address = test::UniqueAddress("refuse-data");
  auto rec = SendRecord(address);
  RecordingProgress progress;
  EXPECT_EQ(MailTransfer(rec, ws_.env(), progress), 9);
  EXPECT_EQ(rec.result, "9999");
  ASSERT_EQ(progress.errors.size(), 1u);
  const std::string& text = progress.errors[0];
  EXPECT_EQ(text.rfind("Error ", 0), 0u) << text;
  EXPECT_NE(text.find("554 受信拒否: メールサーバがこのメールの受け取りを拒否しました"), std::string::npos) << text;
  EXPECT_NE(text.find("サーバの応答 \"554 5.7.1 Message refused by policy\""), std::string::npos) << text;
  EXPECT_EQ(rec.fault, text);
  EXPECT_TRUE(test::ArrivedMessages(servers_.smtpMaildir, address).empty());
}

TEST_F(MailServerTest, BadRecipientAddressFailsAfterSignOn) {
  ws_.WriteIni(servers_.user, servers_.password, "", servers_.smtpUrl, servers_.imapUrl, "edi@maker.example");
  edi::test::WriteBytes(ws_.out() / AttachmentFileName(12, "C1", "C"), "x");
  auto rec = SendRecord("not an address");
  RecordingProgress progress;
  EXPECT_EQ(MailTransfer(rec, ws_.env(), progress), 9);
  ASSERT_EQ(progress.errors.size(), 1u);
  EXPECT_EQ(progress.errors[0].rfind("Error ", 0), 0u);
  EXPECT_EQ(progress.lines.back(), "メッセージを作成");
}

// An IMAP user of its own, so that the test sees only the mail that it put there.
std::string ImapUser(const std::string& tag) {
  const std::string address = test::UniqueAddress(tag);
  return address.substr(0, address.find('@'));
}

std::string ReceivedMail(const std::string& to, const std::string& fileName, const std::string& bytes) {
  OutgoingMail mail;
  mail.subject = "受信テスト";
  mail.body = "本文";
  mail.from = {"", "partner@example.com"};
  mail.to = {"", to};
  mail.attachmentName = fileName;
  mail.attachment = bytes;
  return BuildMessage(mail);
}

TEST_F(MailServerTest, ReceivingStoresTheLatestMatchingAttachment) {
  const std::string user = ImapUser("inbox");
  ws_.WriteIni(user, servers_.password, "", servers_.smtpUrl, servers_.imapUrl, "edi@maker.example");
  const std::string me = "edi@maker.example";
  ASSERT_EQ(test::AppendToInbox(servers_, user, ReceivedMail(me, "first.CII", "first\x82\xa0")), 0);
  ASSERT_EQ(test::AppendToInbox(servers_, user, ReceivedMail("other@maker.example", "other.CII", "other")), 0);
  ASSERT_EQ(test::AppendToInbox(servers_, user, ReceivedMail(me, "second.CII", "second\x82\xa2")), 0);
  ASSERT_EQ(test::AppendToInbox(servers_, user, ReceivedMail("other@maker.example", "late.CII", "late")), 0);

  auto rec = SendRecord(me);
  rec.direction = "R";
  RecordingProgress progress;
  ASSERT_EQ(MailTransfer(rec, ws_.env(), progress), 0) << (progress.errors.empty() ? "" : progress.errors[0]);
  EXPECT_EQ(rec.result, "0000");
  EXPECT_EQ(progress.lines, (std::vector<std::string>{"パラメータチェック", "INIファイル読込み", "受信処理開始", "ログオン",
                                                      "受信トレイ検索", "添付ファイル格納", "ログオフ"}));
  const auto stored = ws_.in() / ReceivedFileName(12, "C1", "C");
  EXPECT_EQ(edi::test::ReadBytes(stored), "second\x82\xa2");
  for (const auto& e : std::filesystem::directory_iterator(ws_.in())) EXPECT_EQ(e.path(), stored);  // no temporary file
}

TEST_F(MailServerTest, ReceivingWithoutMatchesStoresNothing) {
  const std::string user = ImapUser("empty");
  ws_.WriteIni(user, servers_.password, "", servers_.smtpUrl, servers_.imapUrl, "edi@maker.example");
  ASSERT_EQ(test::AppendToInbox(servers_, user, ReceivedMail("other@maker.example", "o.XML", "o")), 0);
  auto rec = SendRecord("edi@maker.example", "X");
  rec.direction = "R";
  RecordingProgress progress;
  EXPECT_EQ(MailTransfer(rec, ws_.env(), progress), 0);
  EXPECT_TRUE(std::filesystem::is_empty(ws_.in()));
}

TEST_F(MailServerTest, RefusedImapSignOnFails) {
  ws_.WriteIni("someone", "wrong-password", "", servers_.smtpUrl, servers_.imapUrl, "edi@maker.example");
  auto rec = SendRecord("edi@maker.example");
  rec.direction = "R";
  RecordingProgress progress;
  EXPECT_EQ(MailTransfer(rec, ws_.env(), progress), 9);
  EXPECT_EQ(rec.result, "9999");
  ASSERT_EQ(progress.errors.size(), 1u);
  EXPECT_EQ(progress.errors[0].rfind("Error 67: メールサーバへのサインオンが拒否されました: ", 0), 0u)
      << progress.errors[0];
}

}  // namespace
}  // namespace edi::mail
