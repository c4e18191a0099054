// The pieces of a mail transfer on their own: names, settings, messages, IMAP responses.
#include <gtest/gtest.h>

#include "mail/curl_session.h"
#include "mail/mail_names.h"
#include "mail/mail_settings.h"
#include "mail/mime_message.h"
#include "mail_fixture.h"

namespace edi::mail {
namespace {

// The causes that the live tests cannot provoke (no connection and refused sign-on are
// checked against the real servers): a refused recipient is told from other send errors by
// libcurl's text; a time-out; other faults keep libcurl's words alone.
TEST(MailFaultText, CommonCausesInJapaneseFollowedByTheLibrarysText) {
  EXPECT_EQ(DescribeCurlFault(CURLE_SEND_ERROR, "RCPT failed: 550"), "宛先がメールサーバに拒否されました: RCPT failed: 550");
  EXPECT_EQ(DescribeCurlFault(CURLE_SEND_ERROR, "Failure when sending data"), "Failure when sending data");
  EXPECT_EQ(DescribeCurlFault(CURLE_OPERATION_TIMEDOUT, "Operation timed out"),
            "メールサーバの応答が時間切れになりました: Operation timed out");
  EXPECT_EQ(DescribeCurlFault(CURLE_UNSUPPORTED_PROTOCOL, "Unsupported protocol"), "Unsupported protocol");
}

TEST(MailNames, FileNamesAndSubject) {
  EXPECT_EQ(AttachmentFileName(42, "ABC", "C"), "00000042_SND_ABC_________.CII");
  EXPECT_EQ(AttachmentFileName(42, "ABC", "X"), "00000042_SND_ABC_________.XML");
  EXPECT_EQ(ReceivedFileName(42, "ABC", "C"), "00000042_RCV_ABC_________.CII");
  EXPECT_EQ(ReceivedFileName(7, "ABC", "X"), "00000007_RCV_ABC_________.XML");
  EXPECT_EQ(MailSubject(0).rfind("EDIデータ", 0), 0u);
  EXPECT_EQ(MailSubject(0).size(), std::string("EDIデータ送信").size() + 19);
}

TEST(MailNames, SearchMatchesTheNameOnlyWithARealDotAndIgnoresCase) {
  edi::test::TempDir dir;
  const std::string name = AttachmentFileName(1, "C1", "C");
  edi::test::WriteBytes(dir / "00000001_SND_C1__________XCII", "x");   // "." must not match X
  edi::test::WriteBytes(dir / "00000001_SND_C1__________0101.LOC", "x");
  edi::test::WriteBytes(dir / "00000002_SND_C1__________.CII", "x");
  EXPECT_TRUE(MatchingFiles(dir.path(), name).empty());

  edi::test::WriteBytes(dir / "00000001_snd_c1__________.cii", "x");
  const auto found = MatchingFiles(dir.path(), name);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(PickAttachment(found, name), "00000001_snd_c1__________.cii");

  edi::test::WriteBytes(dir / name, "x");
  EXPECT_EQ(PickAttachment(MatchingFiles(dir.path(), name), name), name);
  // Only a longer name holds the pattern: nothing to attach under the exact name.
  EXPECT_EQ(PickAttachment({"A" + name + ".bak"}, name), std::nullopt);
}

TEST(MailSettings, MailTextTurnsBackslashNIntoCrLfOnly) {
  EXPECT_EQ(ExpandMailText(R"(line1\nline2)"), "line1\r\nline2");
  EXPECT_EQ(ExpandMailText(R"(\n\n)"), "\r\n\r\n");
  EXPECT_EQ(ExpandMailText(R"(a\tb\)"), R"(a\tb\)");
  EXPECT_EQ(ExpandMailText(R"(C:\new)"), "C:\r\new");
}

TEST(MailSettings, ReadsSixKeysAndCutsTheMapiValuesAt63Bytes) {
  test::MailWorkspace ws;
  const std::string longText(80, 'x');
  ws.WriteIni("user", "pw", longText, "smtp://127.0.0.1:25", "imap://127.0.0.1:143", "送信者 <edi@example.jp>");
  const MailSettings s = ReadMailSettings(ws.ini());
  EXPECT_EQ(s.profileName, "user");
  EXPECT_EQ(s.password, "pw");
  EXPECT_EQ(s.mailText, std::string(63, 'x'));
  EXPECT_EQ(s.smtpUrl, "smtp://127.0.0.1:25");
  EXPECT_EQ(s.imapUrl, "imap://127.0.0.1:143");
  EXPECT_EQ(s.from, "送信者 <edi@example.jp>");
  EXPECT_THROW(ReadMailSettings(""), MailSettingsError);
  EXPECT_THROW(ReadMailSettings(ws.out()), MailSettingsError);  // a folder, not a file
}

TEST(MimeMessage, JapaneseSubjectBodyAndAttachmentSurviveTheRoundTrip) {
  std::string binary;
  for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
  binary += "\r\n.\r\nend\n";  // a lone dot line and a bare LF stay as they are
  OutgoingMail out;
  out.subject = "EDIデータ2026/12/08 10:00:00送信";
  out.body = "発注データです\r\n二行目";
  out.from = {"", "edi@example.jp"};
  out.to = {"", "partner@example.com"};
  out.attachmentName = "00000001_SND_C1__________.CII";
  out.attachment = binary;
  const std::string raw = BuildMessage(out);

  const std::string headers = raw.substr(0, raw.find("\r\n\r\n"));
  for (unsigned char c : headers) ASSERT_LT(c, 0x80) << "headers must be encoded";
  EXPECT_EQ(raw.find("\n"), raw.find("\r\n") + 1);

  const IncomingMail in = ParseMessage(raw);
  EXPECT_EQ(in.subject, out.subject);
  EXPECT_EQ(in.from, "edi@example.jp");
  EXPECT_EQ(in.recipients, std::vector<std::string>{"partner@example.com"});
  EXPECT_EQ(in.text, out.body);
  ASSERT_TRUE(in.hasAttachment);
  EXPECT_EQ(in.attachmentName, out.attachmentName);
  EXPECT_EQ(in.attachment, binary);
}

TEST(MimeMessage, AddressesNeedAnAtSign) {
  EXPECT_EQ(ParseMailbox("a@b.jp")->address, "a@b.jp");
  const auto named = ParseMailbox("取引先 <partner@example.com>");
  ASSERT_TRUE(named);
  EXPECT_EQ(named->name, "取引先");
  EXPECT_EQ(named->address, "partner@example.com");
  EXPECT_FALSE(ParseMailbox("nobody"));
  EXPECT_FALSE(ParseMailbox(""));
}

}  // namespace
}  // namespace edi::mail
