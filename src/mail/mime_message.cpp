#include "app/catalogue.h"
#include "mail/mime_message.h"

#include <gmime/gmime.h>

#include <memory>
#include <mutex>

#include "mail/mail_fault.h"
#include "platform/profile.h"

namespace edi::mail {

namespace {

void EnsureGMime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

// Owner of one GObject reference.
struct GObjectDeleter {
  void operator()(gpointer p) const {
    if (p) g_object_unref(p);
  }
};
template <class T>
using GRef = std::unique_ptr<T, GObjectDeleter>;

std::string StreamBytes(GMimeStream* stream) {
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

void AddAddresses(InternetAddressList* list, std::vector<std::string>& out) {
  if (!list) return;
  const int n = internet_address_list_length(list);
  for (int i = 0; i < n; ++i) {
    InternetAddress* a = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_MAILBOX(a)) {
      const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a));
      out.push_back(addr ? addr : "");
    } else if (INTERNET_ADDRESS_IS_GROUP(a)) {
      AddAddresses(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(a)), out);
    }
  }
}

struct PartScan {
  bool textFound = false;
  IncomingMail* mail = nullptr;
};

void VisitPart(GMimeObject* /*parent*/, GMimeObject* part, gpointer data) {
  auto* scan = static_cast<PartScan*>(data);
  if (!GMIME_IS_PART(part)) return;
  GMimePart* p = GMIME_PART(part);
  const char* filename = g_mime_part_get_filename(p);
  const bool attachment = g_mime_part_is_attachment(p) || (filename && *filename);
  if (attachment) {
    if (scan->mail->hasAttachment) return;
    scan->mail->hasAttachment = true;
    scan->mail->attachmentName = filename ? filename : "";
    GMimeDataWrapper* content = g_mime_part_get_content(p);
    if (content) {
      GRef<GMimeStream> out(g_mime_stream_mem_new());
      g_mime_data_wrapper_write_to_stream(content, out.get());
      scan->mail->attachment = StreamBytes(out.get());
    }
    return;
  }
  if (!scan->textFound && GMIME_IS_TEXT_PART(part)) {
    GMimeContentType* type = g_mime_object_get_content_type(part);
    if (type && g_mime_content_type_is_type(type, "text", "plain")) {
      char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(part));
      if (text) {
        scan->mail->text = text;
        g_free(text);
      }
      scan->textFound = true;
    }
  }
}

std::string HostName() {
  std::string name = platform::HostName();
  return name.empty() ? "localhost" : name;
}

}  // namespace

std::optional<Mailbox> ParseMailbox(const std::string& text) {
  EnsureGMime();
  GRef<InternetAddressList> list(internet_address_list_parse(nullptr, text.c_str()));
  if (!list) return std::nullopt;
  const int n = internet_address_list_length(list.get());
  for (int i = 0; i < n; ++i) {
    InternetAddress* a = internet_address_list_get_address(list.get(), i);
    if (!INTERNET_ADDRESS_IS_MAILBOX(a)) continue;
    const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a));
    if (!addr || std::string(addr).find('@') == std::string::npos) continue;
    const char* name = internet_address_get_name(a);
    return Mailbox{name ? name : "", addr};
  }
  return std::nullopt;
}

std::string BuildMessage(const OutgoingMail& mail) {
  EnsureGMime();
  GRef<GMimeMessage> message(g_mime_message_new(TRUE));
  g_mime_message_add_mailbox(message.get(), GMIME_ADDRESS_TYPE_FROM,
                             mail.from.name.empty() ? nullptr : mail.from.name.c_str(), mail.from.address.c_str());
  g_mime_message_add_mailbox(message.get(), GMIME_ADDRESS_TYPE_TO,
                             mail.to.name.empty() ? nullptr : mail.to.name.c_str(), mail.to.address.c_str());
  g_mime_message_set_subject(message.get(), mail.subject.c_str(), "utf-8");
  GDateTime* now = g_date_time_new_now_local();
  g_mime_message_set_date(message.get(), now);
  g_date_time_unref(now);
  char* id = g_mime_utils_generate_message_id(HostName().c_str());
  g_mime_message_set_message_id(message.get(), id);
  g_free(id);

  GRef<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));

  GRef<GMimeTextPart> text(g_mime_text_part_new_with_subtype("plain"));
  g_mime_text_part_set_text(text.get(), mail.body.c_str());
  g_mime_text_part_set_charset(text.get(), "utf-8");
  g_mime_part_set_content_encoding(GMIME_PART(text.get()), GMIME_CONTENT_ENCODING_BASE64);
  g_mime_multipart_add(mixed.get(), GMIME_OBJECT(text.get()));

  // A message without an attachment name (an alert) is the text alone.
  if (!mail.attachmentName.empty()) {
    GRef<GMimePart> file(g_mime_part_new_with_type("application", "octet-stream"));
    GRef<GMimeStream> fileBytes(g_mime_stream_mem_new_with_buffer(mail.attachment.data(), mail.attachment.size()));
    GRef<GMimeDataWrapper> content(g_mime_data_wrapper_new_with_stream(fileBytes.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(file.get(), content.get());
    g_mime_object_set_disposition(GMIME_OBJECT(file.get()), GMIME_DISPOSITION_ATTACHMENT);
    g_mime_part_set_filename(file.get(), mail.attachmentName.c_str());
    g_mime_part_set_content_encoding(file.get(), GMIME_CONTENT_ENCODING_BASE64);
    g_mime_multipart_add(mixed.get(), GMIME_OBJECT(file.get()));
  }

  g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(mixed.get()));

  GMimeFormatOptions* options = g_mime_format_options_new();
  g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
  GRef<GMimeStream> out(g_mime_stream_mem_new());
  const ssize_t written = g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), options, out.get());
  g_mime_format_options_free(options);
  if (written < 0) throw MailFault(kMimeFaultBase + 1, Tr("メールを組み立てられません"));
  return StreamBytes(out.get());
}

IncomingMail ParseMessage(const std::string& raw) {
  EnsureGMime();
  GRef<GMimeStream> in(g_mime_stream_mem_new_with_buffer(raw.data(), raw.size()));
  GRef<GMimeParser> parser(g_mime_parser_new_with_stream(in.get()));
  GRef<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
  if (!message) throw MailFault(kMimeFaultBase + 2, Tr("受信したメールを読めません"));

  IncomingMail mail;
  if (const char* subject = g_mime_message_get_subject(message.get())) mail.subject = subject;
  std::vector<std::string> from;
  AddAddresses(g_mime_message_get_addresses(message.get(), GMIME_ADDRESS_TYPE_FROM), from);
  if (!from.empty()) mail.from = from.front();
  AddAddresses(g_mime_message_get_addresses(message.get(), GMIME_ADDRESS_TYPE_TO), mail.recipients);
  AddAddresses(g_mime_message_get_addresses(message.get(), GMIME_ADDRESS_TYPE_CC), mail.recipients);

  PartScan scan;
  scan.mail = &mail;
  GMimeObject* body = g_mime_message_get_mime_part(message.get());
  if (body) {
    if (GMIME_IS_MULTIPART(body)) {
      g_mime_multipart_foreach(GMIME_MULTIPART(body), VisitPart, &scan);
    } else {
      VisitPart(nullptr, body, &scan);
    }
  }
  return mail;
}

}  // namespace edi::mail
