// The batch import of a 100 MB mbox: about 3,600 newsletter issues in the
// charsets and encodings they arrive in (ISO-2022-JP, Shift_JIS in base64,
// EUC-JP in 8 bit, UTF-8 in quoted-printable beside an HTML copy), dates out
// of order, a few messages that are no issue. Target: at most 5 s for the
// whole `sorimba-clip import`, at most 200 MiB peak memory (bench/report.sh
// runs the program; this benchmark times the same import in the process).
//
//   bench_mail_import --write-mbox FILE MEGABYTES
// writes the mbox, for measuring `sorimba-clip import` from the shell;
//   bench_mail_import --import MBOX SAVE
// imports it once in plain mode (for a profiler).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <random>

#include "mail/charset.h"
#include "mail/mail_builder.h"
#include "mail/structure.h"
#include "mailimport/mail_import.h"
#include "mailwords/mail_words.h"

namespace {

using namespace sorimba::mail;
using namespace sorimba::mailimport;

namespace {

// What an import did, for a reader of the benchmark's output.
std::string counts(const ImportSummary& summary) {
    std::string text = std::to_string(summary.messages) + " messages, " +
                       std::to_string(summary.imported) + " imported, " +
                       std::to_string(summary.failed) + " failed";
    return text + "\n" + sorimba::mailwords::summary(summary).toStdString();
}

}  // namespace
using test::Mail;
using test::Transfer;

const char* const kThemes[] = {"身近な発見",       "子どもの頃の遊び",
                               "忘れられない味",   "最近買ってよかったもの",
                               "ちょっとした失敗", "冬の過ごし方"};
const char* const kNames[] = {"さくら", "ぽんた", "みかん", "しろくま", "ねこまる", "たぬき"};
const char* const kLines[] = {
    "近所の公園に新しいベンチができていました。座ってみると意外と高くて、足が届きません。",
    "子どもの頃は毎日のように缶けりをしていました。鬼になると日が暮れるまで終わらない。",
    "祖母の作る甘い卵焼きが忘れられません。同じように作っても、なぜかあの味にならない。",
    "①から⑩まで番号をふって、㈱の書類を整理しました。Ⅲ章が見つかりません〜。",
    "Linux で読んでいます。ASCII 混じりの行, カンマ, 句読点、いろいろ。"};

// One issue: a table of contents, long articles, then the column with six
// topics, recruitment notices, votes, the staff section and the self-
// description. About 28 KB as text.
QString newsletter(int number, std::mt19937& rng) {
    QString text;
    auto line = [&](const QString& s) { text += s + QStringLiteral("\r\n"); };
    auto pick = [&](auto& list) {
        return QString::fromUtf8(
            list[std::uniform_int_distribution<size_t>(0, std::size(list) - 1)(rng)]);
    };
    line(QStringLiteral("ウィークリーぴこぴこ　第%1号").arg(number));
    line(QStringLiteral("目次：今週の話題／読みもの／■ぴこぴこＺＯＫ／編集後記"));
    line(QString());
    for (int article = 0; article < 6; ++article) {
        line(QStringLiteral("■読みもの その%1").arg(article + 1));
        for (int paragraph = 0; paragraph < 6; ++paragraph) {
            for (int l = 0; l < 4; ++l) line(pick(kLines));
            line(QString());
        }
    }
    line(QStringLiteral("■ぴこぴこＺＯＫ"));
    line(QString());
    for (int topic = 0; topic < 6; ++topic) {
        line(QStringLiteral("●お題その%1　").arg(topic + 1) + pick(kThemes));
        line(QStringLiteral("今週のお題です。"));
        line(QString());
        for (int entry = 0; entry < 5; ++entry) {
            line(QStringLiteral("○") + pick(kNames) + QStringLiteral("さんより"));
            line(pick(kLines));
            line(pick(kLines));
            if (entry == 2) line(QStringLiteral("◇これに一票"));
            line(QString());
        }
        line(QStringLiteral("【次回の回答募集中】"));
        line(QString());
    }
    line(QStringLiteral("==============================[PR]"));
    line(QStringLiteral("広告です。"));
    line(QStringLiteral("■スタッフより"));
    line(QStringLiteral("  今週もありがとうございました。"));
    line(QStringLiteral("====="));
    line(QStringLiteral("【ウィークリーぴこぴこは、毎週, 発行です】"));
    return text;
}

QByteArray message(int number, std::mt19937& rng) {
    Mail mail;
    mail.messageId = "<issue-" + QByteArray::number(number) + "@piko.example.com>";
    // Seven days apart, from 2000 on; written in the mailbox out of order.
    const qint64 seconds = 946684800 + qint64{number} * 7 * 86400;
    mail.date = QDateTime::fromSecsSinceEpoch(seconds).toUTC().toString(Qt::RFC2822Date).toLatin1();
    mail.subject =
        "=?ISO-2022-JP?B?" +
        test::iso2022jp(QStringLiteral("ウィークリーぴこぴこ 第%1号").arg(number)).toBase64() +
        "?=";
    mail.body = newsletter(number, rng);
    switch (number % 20) {
        case 0:  // a notice that is no issue
            mail.body = QStringLiteral("購読の手続きが完了しました。\r\n");
            break;
        case 1:
        case 2:
        case 3:
        case 4:
            mail.charset = "Shift_JIS";
            mail.transfer = Transfer::Base64;
            break;
        case 5:
        case 6:
        case 7:
            mail.charset = "EUC-JP";
            mail.transfer = Transfer::EightBit;
            break;
        case 8:
        case 9:
        case 10: {
            const QByteArray plain = test::quotedPrintable(test::encodeAs(mail.body, "UTF-8"));
            mail.contentType = "multipart/alternative; boundary=\"alt\"";
            mail.rawBody =
                "--alt\nContent-Type: text/plain; charset=UTF-8\n"
                "Content-Transfer-Encoding: quoted-printable\n\n" +
                plain +
                "\n--alt\nContent-Type: text/html; charset=UTF-8\n\n"
                "<html><body><p>HTML版</p></body></html>\n--alt--\n";
            break;
        }
        default:
            break;  // ISO-2022-JP, 7 bit
    }
    return test::build(mail);
}

// Writes an mbox of about `megabytes` MB; returns the number of messages.
int writeMbox(const QString& path, long megabytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return -1;
    std::mt19937 rng(15);
    const qint64 target = qint64{megabytes} * 1000 * 1000;
    // Numbers in a shuffled order, so the dates come out of order.
    std::vector<int> numbers(200000);
    std::iota(numbers.begin(), numbers.end(), 1);
    std::shuffle(numbers.begin(), numbers.end(), rng);
    int count = 0;
    while (file.size() < target) {
        file.write(test::mbox({message(numbers[count], rng)}));
        ++count;
    }
    // On the disk before anything is timed: the import's own flushes must
    // not wait for the generator's writing.
    file.flush();
    ::fsync(file.handle());
    return count;
}

void BM_ImportMbox100MB(benchmark::State& state) {
    static QTemporaryDir dir;
    static const QString mbox = dir.filePath(QStringLiteral("issues.mbox"));
    static const int messages = writeMbox(mbox, 100);
    for (auto _ : state) {
        QDir(dir.path()).remove(QStringLiteral("save.txt"));
        QDir(dir.path()).remove(QStringLiteral(".save.txt.sorimba-imported"));
        Mailboxes mailboxes;
        if (mailboxes.open({mbox})) {
            state.SkipWithError("the mbox cannot be opened");
            return;
        }
        ImportSettings settings;
        settings.savePath = dir.filePath(QStringLiteral("save.txt"));
        settings.extraction.withStaffWord = true;
        settings.extraction.withAbout = true;
        const ImportSummary summary = importMail(mailboxes, settings, {});
        if (summary.anyFailure() || summary.imported == 0) {
            state.SkipWithError(counts(summary).c_str());
            return;
        }
        state.counters["messages"] = messages;
        state.counters["imported"] = summary.imported;
    }
    state.SetBytesProcessed(QFileInfo(mbox).size() * state.iterations());
}
BENCHMARK(BM_ImportMbox100MB)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// Crafted header values and messages, at a quarter of a size and at the
// whole: linear time takes four times as long for the whole.
QByteArray repeated(const QByteArray& piece, qint64 bytes) {
    QByteArray out;
    out.reserve(bytes + piece.size());
    while (out.size() < bytes) out += piece;
    return out;
}

const char* const kHeaderValues[] = {
    "=?UTF-8?Q?a",                         // encoded words that never close
    "=?UTF-8?B?44GC44GE44GG?= ",           // one long run of encoded words
    "=?ISO-8859-1?Q?a?= =?x-none?Q?b?= ",  // a charset at every word
    "subject ",                            // no encoded word
};

// Arguments: which value, its size in kB.
void BM_DecodeHeaderValue(benchmark::State& state) {
    const QByteArray value = repeated(kHeaderValues[state.range(0)], state.range(1) * 1000);
    for (auto _ : state) benchmark::DoNotOptimize(decodeHeaderValue(value));
    state.SetBytesProcessed(value.size() * state.iterations());
}
BENCHMARK(BM_DecodeHeaderValue)
    ->ArgsProduct({{0, 1, 2, 3}, {400, 1600}})
    ->Unit(benchmark::kMillisecond);

// The look before GMime over a message of many MIME parts in an mbox (read
// to its end, as the import does to find the next message). Argument: MB.
void BM_CheckMessageParts(benchmark::State& state) {
    const QByteArray message =
        "From x@example.com Mon Jan  1 09:00:00 2024\nContent-Type: multipart/mixed; "
        "boundary=b\n\n" +
        repeated("--b\nContent-Type: text/plain\n\nshort body\n", state.range(0) * 1000000);
    for (auto _ : state) benchmark::DoNotOptimize(checkMessage(message, true));
    state.SetBytesProcessed(message.size() * state.iterations());
}
BENCHMARK(BM_CheckMessageParts)->Arg(11)->Arg(46)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--write-mbox") == 0) {
        const int count =
            writeMbox(QString::fromLocal8Bit(argv[2]), std::strtol(argv[3], nullptr, 10));
        std::printf("%d messages\n", count);
        return count > 0 ? 0 : 1;
    }
    if (argc == 4 && std::strcmp(argv[1], "--import") == 0) {
        // One import of MBOX into SAVE, for a profiler.
        Mailboxes mailboxes;
        if (mailboxes.open({QString::fromLocal8Bit(argv[2])})) return 2;
        ImportSettings settings;
        settings.savePath = QString::fromLocal8Bit(argv[3]);
        const ImportSummary summary = importMail(mailboxes, settings, {});
        std::printf("%s\n", counts(summary).c_str());
        return summary.anyFailure() ? 1 : 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
