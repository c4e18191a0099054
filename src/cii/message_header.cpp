#include "cii/message_header.h"

#include "app/text.h"
#include "cii/sjis.h"

namespace edi::cii {

void SetCreationTime(CiiHeaderRecord& h, const std::tm& now) {
  const int parts[6] = {now.tm_year, now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec};
  for (int k = 0; k < 6; ++k) {
    const int v = ((parts[k] % 100) + 100) % 100;
    h.bytes[hdr::kCreated + 2 * k] = static_cast<char>('0' + v / 10);
    h.bytes[hdr::kCreated + 2 * k + 1] = static_cast<char>('0' + v % 10);
  }
}

void FillHeaderRecord(CiiHeaderRecord& h, const MessageGroupInfo& info, const std::tm& now) {
  auto set = [&](std::size_t offset, std::size_t length, const std::string& utf8) {
    h.SetField(offset, length, ToAnsiBytes(utf8));
  };
  // Byte 0 holds the first character of 運用モード; an empty one (or one that is not a
  // single-byte character) leaves a space.
  std::string mode = ToAnsiBytes(info.operationMode);
  h.bytes[hdr::kOperationMode] =
      (!mode.empty() && IsSingleByteChar(static_cast<unsigned char>(mode[0]))) ? mode[0] : ' ';
  set(hdr::kSenderVan, 12, info.senderVan);
  set(hdr::kSenderCenter, 12, info.senderCenter);
  set(hdr::kSender, 12, info.sender);
  set(hdr::kReceiverVan, 12, info.receiverVan);
  set(hdr::kReceiverCenter, 12, info.receiverCenter);
  set(hdr::kReceiver, 12, info.receiver);
  std::string bpid = ToAnsiBytes(info.bpid);
  h.SetField(73, 4, MidBytes(bpid, 1, 4));
  h.SetField(77, 2, MidBytes(bpid, 5, 2));
  h.SetField(79, 2, MidBytes(bpid, 7, 2));
  h.SetField(81, 12, "");
  set(hdr::kInfoCategory, 4, info.infoCategory);
  h.SetField(97, 6, "");
  if (info.storageMode == "M") h.SetField(hdr::kStorageFlags, 2, "11");
  else if (info.storageMode == "S") h.SetField(hdr::kStorageFlags, 2, "10");
  set(hdr::kExchangeRef, 10, info.exchangeRef);
  SetCreationTime(h, now);
  h.SetField(127, 12, "");
  set(hdr::kSyntaxVersion, 6, info.syntaxVersion);
  h.bytes[hdr::kSyntaxMark] = 'E';
  set(hdr::kStorageMode, 1, info.storageMode);
  set(hdr::kCode8, 1, info.code8);
  set(hdr::kCode16, 1, info.code16);
  h.SetField(149, 11, "");
  set(hdr::kShortDisplay, 1, info.shortDisplay);
  set(161, 3, info.senderVanAgency);
  set(164, 3, info.senderCenterAgency);
  set(167, 3, info.senderAgency);
  set(170, 3, info.receiverVanAgency);
  set(173, 3, info.receiverCenterAgency);
  set(176, 3, info.receiverAgency);
  h.SetField(179, 70, "");
}

}  // namespace edi::cii
