// The translator's result codes. 1–21 are the format's own; 22–39 are this engine's codes for
// input that the format rules do not cover. The XML converters take codes from 40 on.
#pragma once

namespace edi::cii {

constexpr int kCodeNoMessageGroup = 1;   // no FL1916 row for partner, own company, category
constexpr int kCodeNoFormat = 2;         // no FL1902 row
constexpr int kCodeNoEdiItems = 3;       // no FL1903 'E' rows
constexpr int kCodeNoLocalItems = 4;     // no FL1903 'L' rows
constexpr int kCodeBadMultiDetail = 5;   // マルチ明細番号 without an encoding
constexpr int kCodeBadTag = 6;           // 項目№ without an encoding
constexpr int kCodeEndInBlock = 7;       // reader: end of file inside a block
constexpr int kCodeBadBlockId = 8;       // reader: bad block lead (quiet)
constexpr int kCodeBadLengthByte = 9;    // reader: unknown length lead byte (quiet)
constexpr int kCodeUnexpectedByte = 10;  // reader: a control byte with no meaning in extended mode (quiet)
constexpr int kCodeGroup16InNormal = 11; // reader: 0xFD in one-byte tag mode (quiet)
constexpr int kCodeLengthMismatch = 12;  // reader: message length differs from its end (quiet)
constexpr int kCodeBadTagByte = 13;      // reader: a byte that cannot start anything here (quiet)
constexpr int kCodeGroupNotFound = 14;   // readers: a group start without its group item (stops the conversion)
constexpr int kCodeZeroLength = 15;      // reader: a data element of length 0
constexpr int kCodeBadPair = 21;         // reader: unsupported attribute pair (quiet)

constexpr int kCodeBadItemTable = 22;    // item tables break the ordering rules
constexpr int kCodeInputMissing = 23;    // input file missing or unreadable
constexpr int kCodeOutputFailed = 24;    // output file cannot be opened (folder missing, …)
constexpr int kCodeBadKey = 25;          // a line without a 39-byte single-byte key
constexpr int kCodeShortLine = 26;       // a line's data part shorter than its items (quiet: the missing items are empty)
constexpr int kCodeBadShiftJis = 27;     // a line with broken Shift_JIS bytes
constexpr int kCodeTooLong = 28;         // a line, element or message too long for the format
constexpr int kCodeWriteFailed = 29;     // writing the output failed (disk full, …)
constexpr int kCodeDatabase = 30;        // the masters could not be read (database fault, bad row)
constexpr int kCodeBadStorageMode = 31;  // 格納モード other than "M", "S" or space
constexpr int kCodeTooManyMessages = 32; // more than 99999 messages in one group

}  // namespace edi::cii

namespace edi::cii {
constexpr int kCodeBeyondRecord = 33;    // reader: an element beyond the local record (quiet)
constexpr int kCodeNoHeader = 34;        // reader: a message before any group header
constexpr int kCodeInternal = 35;        // an unexpected fault inside the translation
constexpr int kCodeLogFailed = 36;       // the translation log ERR.LOG cannot be written
constexpr int kCodeNotCii = 37;          // the file is not CII: no header block first, or a run of bytes no block starts with
}  // namespace edi::cii
