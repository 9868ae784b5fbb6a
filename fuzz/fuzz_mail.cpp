// Mail over arbitrary input. The first byte picks what is fed: a message
// (with the rule that tells a message file from an issue text), text in a
// charset, a header value, or an mbox read through the two-pass reader.
// Checked: no crash, no hang, and a text holds a mark exactly when its
// decoder counted an invalid byte, never a replacement character it made up.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "mail/charset.h"
#include "mail/mailbox.h"
#include "mail/message.h"
#include "mailimport/mail_import.h"

namespace {

using namespace sorimba::mail;
using namespace sorimba::mailimport;

const char* const kCharsets[] = {"",      "us-ascii", "ISO-2022-JP",   "Shift_JIS", "EUC-JP",
                                 "UTF-8", "cp932",    "iso-2022-jp-2", "x-unknown", "utf-16"};

void checkText(const QString& text, qsizetype invalid) {
    if (hasInvalidMark(text) != (invalid > 0)) std::abort();
}

void useMessage(const Message& message) {
    if (message.kind == Message::Kind::Text) checkText(message.text, message.invalidBytes);
    sorimba::extraction::Options options;
    options.withTitles = true;
    options.maxOutputUnits = 1 << 20;
    const MessageClip clip = clipOfMessage(message, options);
    if (clip.kind == MessageClip::Kind::Clip && hasInvalidMark(clip.clip)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data) + 2,
                               static_cast<qsizetype>(size - 2));
    switch (data[0] % 4) {
        case 0:
            looksLikeMessage(bytes);
            useMessage(decodeMessage(bytes));
            break;
        case 1: {
            const DecodedText decoded =
                decodeText(bytes, kCharsets[data[1] % (sizeof kCharsets / sizeof *kCharsets)]);
            checkText(decoded.text, decoded.invalidBytes);
            break;
        }
        case 2:
            decodeHeaderValue(bytes);
            break;
        case 3: {
            // An mbox in a memory file, read as the import reads it.
            const int fd = memfd_create("mbox", MFD_CLOEXEC);
            if (fd < 0) return 0;
            if (::write(fd, bytes.data(), bytes.size()) == bytes.size()) {
                Mailboxes mailboxes;
                if (!mailboxes.open({QStringLiteral("/proc/self/fd/%1").arg(fd)})) {
                    std::vector<ScannedMessage> messages;
                    mailboxes.scan([&](ScannedMessage&& m) { messages.push_back(std::move(m)); },
                                   [](qint64, qint64) { return true; });
                    for (const ScannedMessage& scanned : messages)
                        useMessage(mailboxes.read(scanned.where));
                }
            }
            ::close(fd);
            break;
        }
    }
    return 0;
}
