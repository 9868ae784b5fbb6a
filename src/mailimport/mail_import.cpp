#include "mailimport/mail_import.h"

#include <algorithm>
#include <map>

#include "encoding/encoding.h"
#include "mail/charset.h"
#include "mailimport/record.h"
#include "saving/saving.h"
#include "saving/writer.h"

namespace sorimba::mailimport {

using mail::Mailboxes;
using mail::Message;
using mail::MessageRef;
using mail::ScannedMessage;
using mail::SourceProblem;

namespace {

// A batch is written, flushed and recorded as one: this many issues, or
// this many bytes, whichever comes first. Large enough that a mailbox of
// thousands of issues costs a handful of flushes, small enough that a
// cancel or a failure never waits long.
constexpr int kBatchIssues = 500;
constexpr qsizetype kBatchBytes = qsizetype{16} << 20;

// The failure list names at most this many messages; the counts hold all.
constexpr size_t kListedFailures = 200;

}  // namespace

namespace {

QStringView columnMarker() {
    return QStringView(extraction::kColumnMarker.data(),
                       static_cast<qsizetype>(extraction::kColumnMarker.size()));
}

}  // namespace

Fault invalidInColumn(const Message& message) {
    // Bytes the charset does not allow are harmless in the articles before
    // the column; in the column they would reach the clip text.
    if (message.invalidBytes == 0) return {};
    const qsizetype column = message.text.lastIndexOf(columnMarker());
    if (column < 0) return {};
    const QString shown = mail::showMarks(QStringView(message.text).sliced(column));
    const qsizetype at = shown.indexOf(QStringLiteral("\\x"));
    if (at < 0) return {};
    const qsizetype from = shown.lastIndexOf(QLatin1Char('\n'), at) + 1;
    qsizetype to = shown.indexOf(QLatin1Char('\r'), at);
    if (to < 0) to = shown.size();
    Failure invalid = Failure::of(Failure::Kind::NotText);
    invalid.detail = QString::fromLatin1(message.charset) + QLatin1Char('\n') +
                     shown.mid(from, std::min<qsizetype>(to - from, 80));
    return invalid;
}

MessageClip clipOfMessage(const Message& message, const extraction::Options& options) {
    MessageClip result;
    switch (message.kind) {
        case Message::Kind::Text:
            break;
        case Message::Kind::Broken:
            result.kind = MessageClip::Kind::Failed;
            result.reason = message.problem.value_or(Failure::of(Failure::Kind::NotMessage));
            return result;
        case Message::Kind::NoText:
        case Message::Kind::HtmlOnly:
            result.reason = message.problem.value_or(Failure::of(Failure::Kind::NotIssue));
            return result;
    }
    if (const Fault invalid = invalidInColumn(message)) {
        result.kind = MessageClip::Kind::Failed;
        result.reason = *invalid;
        return result;
    }
    const auto because = [](Failure::Kind kind, const char* detail) {
        Failure failure = Failure::of(kind);
        failure.detail = QLatin1String(detail);
        return failure;
    };
    const std::optional<std::u16string> clip =
        extraction::extractColumn(std::u16string_view(QStringView(message.text).utf16(),
                                                      static_cast<size_t>(message.text.size())),
                                  options);
    if (!clip) {
        if (message.text.contains(columnMarker())) {
            result.kind = MessageClip::Kind::Failed;
            result.reason = because(Failure::Kind::OverLimit, "column");
        } else {
            result.reason = because(Failure::Kind::NotIssue, "no-marker");
        }
        return result;
    }
    if (clip->empty()) {
        result.reason = because(Failure::Kind::NotIssue, "empty-column");
        return result;
    }
    result.kind = MessageClip::Kind::Clip;
    result.clip = QString::fromStdU16String(*clip);
    return result;
}

namespace {

// What became of one message, decided before its turn to be written.
struct Prepared {
    enum class Kind { Issue, AlreadyImported, NotIssue, Failed };
    Kind kind = Kind::NotIssue;
    QString where;       // Failed: the message in words
    Failure reason;      // NotIssue, Failed
    IssueBlocks blocks;  // Issue

    qsizetype bytes() const {
        qsizetype total = 64 + (where.size() + reason.detail.size()) * 2 + blocks.key.size();
        for (const auto& [path, bytes] : blocks.files) total += path.size() * 2 + bytes.size();
        return total;
    }
};

struct Entry {
    ScannedMessage scanned;
    std::optional<Prepared> prepared;
};

class Importer {
public:
    Importer(Mailboxes& mailboxes, const ImportSettings& settings, const ProgressFn& progress)
        : mailboxes_(mailboxes),
          settings_(settings),
          progressFn_(progress),
          // Every spelling of the save file, from any folder, is the same file.
          savePath_(saving::absoluteSavePath(settings.savePath)) {}

    ImportSummary run() {
        summary_.stopped =
            record_.open(savePath_, settings_.extraction.withTitles, &summary_.finishedFromBefore);
        if (summary_.stopped) return summary_;
        summary_.recordPath = record_.path();

        std::vector<Entry> entries;
        const bool scanned = scanAll(entries);
        summary_.messages = static_cast<int>(entries.size());
        if (!scanned) {
            summary_.cancelled = true;
            summary_.notReached = summary_.messages;
            addMailboxProblems();
            return summary_;
        }
        // Oldest first; without a valid date after all dated ones; then in
        // the order of the SOURCEs and of each mailbox.
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            auto key = [](const ScannedMessage& m) {
                return std::make_tuple(!m.date.has_value(), m.date.value_or(0), m.where.source,
                                       m.where.sequence);
            };
            return key(a.scanned) < key(b.scanned);
        });
        progress_.stage = ImportProgress::Stage::Importing;
        progress_.total = summary_.messages;
        progress_.done = 0;

        for (size_t i = 0; i < entries.size(); ++i) {
            if (summary_.stopped || cancelled_) {
                summary_.notReached = static_cast<int>(entries.size() - i);
                break;
            }
            take(entries[i]);
            ++progress_.done;
            if (!report()) cancelled_ = true;
            if (batch_.size() >= kBatchIssues || batchBytes_ >= kBatchBytes || cancelled_)
                writeBatch();
        }
        writeBatch();
        summary_.cancelled = cancelled_;
        addMailboxProblems();
        return summary_;
    }

private:
    // Reads every message's header facts; those read whole are prepared at
    // once, up to the bytes kept. False when cancelled.
    bool scanAll(std::vector<Entry>& entries) {
        qsizetype kept = 0;
        return mailboxes_.scan(
            [&](ScannedMessage&& message) {
                Entry entry{std::move(message), std::nullopt};
                if (entry.scanned.message) {
                    entry.prepared = prepare(entry.scanned.where, *entry.scanned.message);
                    entry.scanned.message.reset();
                    kept += entry.prepared->bytes();
                }
                entries.push_back(std::move(entry));
            },
            [&](qint64 done, qint64 total) {
                progress_.stage = ImportProgress::Stage::Reading;
                progress_.done = done;
                progress_.total = total;
                return report();
            },
            [&] { return kept < settings_.keptBytes; });
    }

    bool report() {
        progress_.imported = summary_.imported;
        progress_.alreadyImported = summary_.alreadyImported;
        progress_.notIssues = summary_.notIssues;
        progress_.failed = summary_.failed;
        return !progressFn_ || progressFn_(progress_);
    }

    void fail(const QString& where, const Failure& why) {
        ++summary_.failed;
        if (summary_.failures.size() < kListedFailures)
            summary_.failures.emplace_back(where, why);
        else
            ++summary_.unlistedFailures;
    }

    static QString describe(const QString& where, const Message& message) {
        if (message.subject.isEmpty()) return where;
        return where + QStringLiteral("「") + mail::showMarks(message.subject) +
               QStringLiteral("」");
    }

    // Everything about a message that does not depend on the messages
    // before it: its key, its clip text as the save command would write it,
    // or why it is none.
    Prepared prepare(const MessageRef& ref, const Message& message) {
        Prepared prepared;
        auto failed = [&](const Failure& why) {
            prepared.kind = Prepared::Kind::Failed;
            prepared.where = describe(mailboxes_.describe(ref), message);
            prepared.reason = why;
            return prepared;
        };
        if (message.kind == Message::Kind::Text) {
            prepared.blocks.key = ImportRecord::keyFor(message.messageId, message.text);
            // Imported by an earlier run: nothing more to do.
            if (record_.contains(prepared.blocks.key)) {
                prepared.kind = Prepared::Kind::AlreadyImported;
                return prepared;
            }
        }
        const MessageClip clip = clipOfMessage(message, settings_.extraction);
        if (clip.kind == MessageClip::Kind::Failed) return failed(clip.reason);
        if (clip.kind == MessageClip::Kind::NotIssue) {
            prepared.kind = Prepared::Kind::NotIssue;
            prepared.reason = clip.reason;
            return prepared;
        }
        // The issue goes in exactly as the save command writes the clip text
        // shown in the window.
        prepared.kind = Prepared::Kind::Issue;
        const std::vector<QString> lines = encoding::cutAtCrLf(clip.clip);
        const std::vector<saving::FileBlock> blocks = settings_.extraction.withTitles
                                                          ? saving::titleBlocks(lines, savePath_)
                                                          : saving::plainBlocks(lines, savePath_);
        for (const saving::FileBlock& block : blocks)
            prepared.blocks.files.emplace_back(block.path, block.bytes);
        prepared.where = describe(mailboxes_.describe(ref), message);
        return prepared;
    }

    void take(Entry& entry) {
        if (entry.scanned.problem)
            return fail(mailboxes_.describe(entry.scanned.where), *entry.scanned.problem);
        if (!entry.prepared)
            entry.prepared = prepare(entry.scanned.where, mailboxes_.read(entry.scanned.where));
        Prepared& prepared = *entry.prepared;
        switch (prepared.kind) {
            case Prepared::Kind::AlreadyImported:
                ++summary_.alreadyImported;
                return;
            case Prepared::Kind::NotIssue:
                ++summary_.notIssues;
                ++notIssueReasons_[prepared.reason.detail];
                return;
            case Prepared::Kind::Failed:
                return fail(prepared.where, prepared.reason);
            case Prepared::Kind::Issue:
                break;
        }
        // The same issue earlier in this run (a copy of the message).
        if (record_.contains(prepared.blocks.key) || batchKeys_.contains(prepared.blocks.key)) {
            ++summary_.alreadyImported;
            return;
        }
        for (const auto& [path, bytes] : prepared.blocks.files) batchBytes_ += bytes.size();
        batchKeys_.insert(prepared.blocks.key);
        batchWhere_.push_back(std::move(prepared.where));
        batch_.push_back(std::move(prepared.blocks));
        entry.prepared.reset();
    }

    void writeBatch() {
        if (batch_.empty()) return;
        const BatchResult result = record_.writeBatch(batch_);
        std::vector<bool> refused(batch_.size(), false);
        for (const auto& [index, why] : result.refused) {
            refused[index] = true;
            fail(batchWhere_[index], why);
        }
        for (size_t i = 0; i < batch_.size(); ++i) {
            if (refused[i]) continue;
            if (!result.fatal)
                ++summary_.imported;
            else
                fail(batchWhere_[i], *result.fatal);
        }
        if (result.fatal) summary_.stopped = result.fatal;
        batch_.clear();
        batchWhere_.clear();
        batchKeys_.clear();
        batchBytes_ = 0;
        report();
    }

    void addMailboxProblems() {
        for (const SourceProblem& problem : mailboxes_.problems())
            summary_.failures.emplace_back(problem.source, problem.problem);
        for (const auto& [detail, count] : notIssueReasons_) {
            Failure why = Failure::of(Failure::Kind::NotIssue);
            why.detail = detail;
            summary_.notIssueReasons.emplace_back(why, count);
        }
    }

    Mailboxes& mailboxes_;
    const ImportSettings& settings_;
    const ProgressFn& progressFn_;
    const QString savePath_;
    ImportRecord record_;
    ImportSummary summary_;
    ImportProgress progress_;
    bool cancelled_ = false;
    std::vector<IssueBlocks> batch_;
    std::vector<QString> batchWhere_;
    QSet<QByteArray> batchKeys_;
    qsizetype batchBytes_ = 0;
    std::map<QString, int> notIssueReasons_;  // by the reason's detail
};

}  // namespace

ImportSummary importMail(Mailboxes& mailboxes, const ImportSettings& settings,
                         const ProgressFn& progress) {
    return Importer(mailboxes, settings, progress).run();
}

}  // namespace sorimba::mailimport
