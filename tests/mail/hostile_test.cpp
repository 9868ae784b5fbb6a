// Crafted mail: each shape is read or refused with the limit it breaks,
// through a message in memory, a message file and an mbox, in a child
// process whose address space and processor time are limited. The limits
// leave a wide margin (the figures themselves come from
// bench/hostile_mail.py); what they catch is a shape reaching GMime again,
// which costs gigabytes and minutes.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "mail/charset.h"
#include "mail/mail_builder.h"
#include "mail/mailbox.h"
#include "mail/message.h"
#include "mail/structure.h"
#include "mailimport/mail_import.h"
#include "mailwords/mail_words.h"
#include "support/files.h"

namespace sorimba::mail::test {
namespace {

using namespace sorimba::mailimport;

using sorimba::testing::spit;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kLimitAddressSpace = false;  // the sanitizers reserve terabytes
#else
constexpr bool kLimitAddressSpace = true;
#endif

qint64 addressSpaceNow() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmSize:"))
            return line.mid(7).trimmed().split(' ')[0].toLongLong() << 10;
    return 0;
}

// Runs `check` in a child with 768 MiB of address space more than it starts
// with and 30 s of processor time; true when it returned true.
bool withinLimits(const std::function<bool()>& check) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (kLimitAddressSpace) {
            const rlim_t space = static_cast<rlim_t>(addressSpaceNow() + (qint64{768} << 20));
            const rlimit limit{space, space};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        const rlimit cpu{30, 30};
        ::setrlimit(RLIMIT_CPU, &cpu);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QByteArray head(const QByteArray& fields, const QByteArray& contentType = "text/plain") {
    return "From: editor@example.com\nDate: Mon, 1 Jan 2024 09:00:00 +0900\n"
           "Message-ID: <hostile@example.com>\nMIME-Version: 1.0\n" +
           fields + "Content-Type: " + contentType + "\n\n";
}

QByteArray repeated(const QByteArray& piece, qsizetype count) {
    QByteArray out;
    out.reserve(piece.size() * count);
    for (qsizetype i = 0; i < count; ++i) out += piece;
    return out;
}

QByteArray manyParts(qsizetype count) {
    return head({}, "multipart/mixed; boundary=b") +
           repeated("--b\nContent-Type: text/plain; charset=us-ascii\n\npart\n", count) + "--b--\n";
}

QByteArray nested(int levels) {
    QByteArray body;
    for (int i = 0; i < levels; ++i)
        body += "--b" + QByteArray::number(i) + "\nContent-Type: multipart/mixed; boundary=b" +
                QByteArray::number(i + 1) + "\n\n";
    body += "--b" + QByteArray::number(levels) + "\nContent-Type: text/plain\n\ninside\n";
    for (int i = levels; i >= 0; --i) body += "--b" + QByteArray::number(i) + "--\n";
    return head({}, "multipart/mixed; boundary=b0") + body;
}

struct Shape {
    const char* name;
    std::function<QByteArray()> bytes;
    Limit limit;  // Limit::None: read, its text found
};

const Shape kShapes[] = {
    {"subject_1_6MB", [] { return head("Subject: " + repeated("subject ", 200000) + "\n"); },
     Limit::HeaderBytes},
    {"field_over_64KiB", [] { return head("X-Long: " + QByteArray(70000, 'a') + "\n"); },
     Limit::FieldBytes},
    {"two_million_header_lines", [] { return head(repeated("X-F: 1234567\n", 2000000)); },
     Limit::HeaderFields},
    {"million_parts", [] { return manyParts(1000000); }, Limit::Parts},
    {"parts_in_a_digest",
     [] {
         // Parts of a digest are messages by default: their fields count.
         return head({}, "multipart/digest; boundary=d") +
                repeated("--d\n\n" + repeated("X-F: 1\n", 100) + "\nbody\n", 60) + "--d--\n";
     },
     Limit::HeaderFields},
    {"parts_after_lines_over_a_MiB",
     [] {
         // A file is read in pieces: a boundary padded past a piece still
         // opens a part, whose multipart is followed.
         return head({}, "multipart/mixed; boundary=b") + "--b\n\n" + QByteArray(3 << 20, 'x') +
                "\n--b" + QByteArray(2 << 20, ' ') +
                "\nContent-Type: multipart/mixed; boundary=c\n\n" + repeated("--c\n\npart\n", 600) +
                "--c--\n--b--\n";
     },
     Limit::Parts},
    {"nesting_40", [] { return nested(40); }, Limit::Nesting},
    {"unclosed_encoded_words",
     [] { return head(repeated("X-W: " + repeated("=?UTF-8?Q?a", 5000) + "\n", 3)); },
     Limit::EncodedWords},
    {"message_over_64MiB", [] { return head("Subject: big\n") + repeated("本文\n", 10000000); },
     Limit::MessageBytes},
    {"400_parts", [] { return manyParts(400); }, Limit::None},
    {"nesting_30", [] { return nested(30); }, Limit::None},
    {"encoded_word_run_60KB",
     [] { return head("Subject: " + repeated("=?UTF-8?B?44GC?=\n ", 3000) + "x\n"); }, Limit::None},
};

void PrintTo(const Shape& shape, std::ostream* out) {
    *out << shape.name;
}

class Hostile : public ::testing::TestWithParam<Shape> {
protected:
    QTemporaryDir dir;
};

// The same outcome through each way a message comes in.
TEST_P(Hostile, IsReadOrRefusedWithItsLimit) {
    const Shape& shape = GetParam();
    const QByteArray bytes = shape.bytes();
    const QString file = dir.filePath(QStringLiteral("message.eml"));
    spit(file, bytes);
    auto expected = [&](const Message& message) {
        if (shape.limit != Limit::None)
            return message.kind == Message::Kind::Broken && message.problem &&
                   mailwords::messageProblem(*message.problem) ==
                       mailwords::messageProblem(limitFailure(shape.limit));
        return message.kind == Message::Kind::Text;
    };
    EXPECT_TRUE(withinLimits([&] { return expected(decodeMessage(bytes)); })) << "in memory";
    EXPECT_TRUE(withinLimits([&] { return expected(decodeMessageFile(file)); })) << "file";
}

INSTANTIATE_TEST_SUITE_P(Shapes, Hostile, ::testing::ValuesIn(kShapes),
                         [](const auto& shape) { return std::string(shape.param.name); });

QByteArray soundMessage(int n) {
    Mail mail;
    mail.charset = "UTF-8";
    mail.transfer = Transfer::EightBit;
    mail.messageId = "<sound-" + QByteArray::number(n) + "@example.com>";
    mail.body = issue({QStringLiteral("投稿 %1").arg(n)});
    return build(mail);
}

// An import meets each refused message as a failure with its reason and
// goes on with the next one, in an mbox and in a Maildir.
TEST(HostileMailbox, ARefusedMessageFailsWithItsReasonAndTheImportGoesOn) {
    const std::vector<QByteArray> messages = {soundMessage(1), manyParts(1000000), soundMessage(2),
                                              head(repeated("X-F: 1\n", 6000)), soundMessage(3)};
    QTemporaryDir dir;
    const QString mboxPath = dir.filePath(QStringLiteral("hostile.mbox"));
    spit(mboxPath, mbox(messages));
    const QString maildirPath = dir.filePath(QStringLiteral("Maildir"));
    writeMaildir(maildirPath, messages);
    for (const QString& source : {mboxPath, maildirPath}) {
        EXPECT_TRUE(withinLimits([&] {
            Mailboxes mailboxes;
            if (mailboxes.open({source})) return false;
            ImportSettings settings;
            settings.savePath = source + QStringLiteral(".save.txt");
            const ImportSummary summary = importMail(mailboxes, settings, {});
            return summary.messages == 5 && summary.imported == 3 && summary.failed == 2 &&
                   summary.failures.size() == 2 &&
                   summary.failures[0].second.detail == limitFailure(Limit::Parts).detail &&
                   summary.failures[1].second.detail == limitFailure(Limit::HeaderFields).detail;
        })) << source.toStdString();
    }
}

// The limits are the largest shapes still read: one field or one byte more
// is refused.
TEST(HostileLimits, TheLargestShapesAreReadAndOneMoreIsRefused) {
    const int ownFields = 5;  // head()'s own fields
    const QByteArray fields = repeated("X-Field: v\n", kMaxHeaderFields - ownFields);
    EXPECT_EQ(checkMessage(head(fields) + "text\n", false).limit, Limit::None);
    EXPECT_EQ(checkMessage(head(fields + "X-Field: v\n") + "text\n", false).limit,
              Limit::HeaderFields);

    QByteArray largest = head({});
    largest += QByteArray(kMaxMessageBytes - largest.size() - 1, 'x') + '\n';
    ASSERT_EQ(largest.size(), kMaxMessageBytes);
    EXPECT_EQ(checkMessage(largest, false).limit, Limit::None);
    largest.insert(largest.size() - 1, 'x');
    EXPECT_EQ(checkMessage(largest, false).limit, Limit::MessageBytes);
}

// Header values decode in time in proportion to their length, whatever
// encoded words they hold or fail to hold.
TEST(HostileHeader, LongValuesDecodeInLinearTime) {
    const QByteArray values[] = {
        repeated("=?UTF-8?Q?a", 150000),                        // words that never close
        repeated("=?UTF-8?B?44GC?= ", 100000),                  // one long run of words
        repeated("=?ISO-8859-1?Q?a?= =?x-none?Q?b?= ", 50000),  // a charset at every word
        repeated("subject ", 200000),                           // no word at all
    };
    for (const QByteArray& value : values) {
        EXPECT_TRUE(withinLimits([&] { return !decodeHeaderValue(value).isEmpty(); }))
            << value.left(40).constData();
    }
}

}  // namespace
}  // namespace sorimba::mail::test
