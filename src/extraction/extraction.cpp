#include "extraction/extraction.h"

#include <algorithm>
#include <initializer_list>

#include "encoding/surrogates.h"

namespace sorimba::extraction {
namespace {

using encoding::isHighSurrogate;
using encoding::isLowSurrogate;

// Lines are views into the issue text (or into a buffer, for the few lines
// that have to be rewritten); the scan rewrites a line by pointing its view
// at a shorter piece (trimming) or at nothing (emptying).
using Line = std::u16string_view;

constexpr Line kCrLf = u"\r\n";
constexpr char16_t kTitleMark = u'●';
constexpr char16_t kEntryMark = u'○';
constexpr char16_t kIdeographicZero = u'〇';
constexpr char16_t kQuoteMark = u'>';
constexpr char16_t kHeadingOpen = u'【';
constexpr char16_t kHeadingClose = u'】';
// "画像投稿募集中】" contains "投稿募集中】", so three searches find all four endings.
constexpr Line kRecruitmentEndings[] = {u"回答募集中】", u"質問募集中】", u"投稿募集中】"};
constexpr Line kVoteMark = u"◇これに一票";
constexpr Line kLongRule = u"==============================";  // thirty "="
constexpr Line kStaffOpening = u"■スタッフ";
constexpr Line kStaffHeading = u"●スタッフのひとこと";
constexpr Line kStaffEnd = u"=====";
constexpr Line kAboutOpening = u"【ウィークリーぴこぴこは、";
constexpr Line kAboutHeading = u"●ぴこぴこについて";

// A title counts when "○" starts one of the ten lines from the title on.
constexpr std::size_t kTitleWindow = 10;

static_assert(kLongRule.size() == 30);

bool isSpace(char16_t c) {
    return c == u' ' || c == u'\u3000';
}

Line trim(Line s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && isSpace(s[begin])) ++begin;
    while (end > begin && isSpace(s[end - 1])) --end;
    return s.substr(begin, end - begin);
}

bool contains(Line s, Line what) {
    return s.find(what) != Line::npos;
}
bool startsWith(Line s, char16_t c) {
    return !s.empty() && s.front() == c;
}
bool startsWith(Line s, Line prefix) {
    return s.substr(0, prefix.size()) == prefix;
}
bool endsWith(Line s, char16_t c) {
    return !s.empty() && s.back() == c;
}

// True when nothing is left of the line once every c is removed.
bool consistsOnlyOf(Line s, char16_t c) {
    return std::all_of(s.begin(), s.end(), [c](char16_t u) { return u == c; });
}

// The line without its first character; a character outside the BMP is a
// surrogate pair and goes as a whole, so no half of it is left behind.
Line withoutFirstCharacter(Line s) {
    if (s.size() >= 2 && isHighSurrogate(s[0]) && isLowSurrogate(s[1])) return s.substr(2);
    return s.substr(1);
}

// Reading the column, done as the lines are needed. The column runs from
// its marker to the end of the issue; every LF is removed, "〇" becomes "○",
// and the text is cut into lines at every CR (a text ending with CR has a
// last, empty line). A line is read straight from the issue: a piece between
// two CRs, without the LF that follows a CR. Only a line that holds another
// LF or a "〇" has to be rewritten.
struct RawLine {
    Line text;         // the piece of the issue, before removing LF and "〇"
    std::size_t next;  // where the following line starts
    bool last;         // no CR after it: the last line of the column
};

RawLine rawLineAt(Line column, std::size_t start) {
    std::size_t end = column.find(u'\r', start);
    const bool last = end == Line::npos;
    if (last) end = column.size();
    if (start < end && column[start] == u'\n') ++start;  // the LF of CR LF
    return {column.substr(start, end - start), end + 1, last};
}

bool needsRewrite(Line raw) {
    return std::any_of(raw.begin(), raw.end(),
                       [](char16_t c) { return c == u'\n' || c == kIdeographicZero; });
}

// Appends the line as the column holds it: without LF, "〇" as "○".
void appendRewritten(std::u16string& out, Line raw) {
    for (char16_t c : raw) {
        if (c != u'\n') out += (c == kIdeographicZero) ? kEntryMark : c;
    }
}

// The line as the column holds it; a view into the issue, or into buffer
// when it had to be rewritten.
Line columnLine(Line raw, std::u16string& buffer) {
    if (!needsRewrite(raw)) return raw;
    buffer.clear();
    appendRewritten(buffer, raw);
    return buffer;
}

// The first character of the line as the column holds it (0 when empty).
char16_t firstCharacter(Line raw) {
    for (char16_t c : raw) {
        if (c != u'\n') return (c == kIdeographicZero) ? kEntryMark : c;
    }
    return 0;
}

// The column starts at the last occurrence of its marker: an issue may
// name the column earlier (in its contents). A plain backward loop; far
// quicker than a general search on a long issue.
std::size_t lastColumnMarker(Line text) {
    const std::size_t n = kColumnMarker.size();
    for (std::size_t i = text.size() >= n ? text.size() - n + 1 : 0; i-- > 0;) {
        if (text[i] == kColumnMarker[0] && text.substr(i, n) == kColumnMarker) return i;
    }
    return Line::npos;
}

// Which first characters of the texts that the scan searches for occur in a
// line. One pass over the line spares the searches that cannot succeed,
// which is most of them on most lines.
struct LineMarks {
    bool square = false;       // "■": the column marker, the staff section
    bool recruitment = false;  // "回", "質", "投": the recruitment endings
    bool equals = false;       // "=": the long rule
    bool vote = false;         // "◇": the vote mark
    bool bracket = false;      // "【": the self-description
};

LineMarks marksOf(Line line) {
    LineMarks marks;
    for (char16_t c : line) {
        switch (c) {
            case u'■':
                marks.square = true;
                break;
            case u'回':
            case u'質':
            case u'投':
                marks.recruitment = true;
                break;
            case u'=':
                marks.equals = true;
                break;
            case u'◇':
                marks.vote = true;
                break;
            case u'【':
                marks.bracket = true;
                break;
            default:
                break;
        }
    }
    return marks;
}

// Receives the lines of the spaced text one by one and writes the
// clip text. Without JoinLines each line is written as it is; with it, the
// joining pass works on the lines as they come instead of on a
// second copy of the text. Grows only within the bound.
class ClipWriter {
public:
    // The text is built in memory reserved for the expected size: written
    // once from start to end, so only the part written is ever touched.
    ClipWriter(std::size_t expectedSize, const Options& options)
        : join_(options.joinLines), bound_(options.maxOutputUnits) {
        text_.reserve(std::min(expectedSize, bound_));
    }

    void line(Line element) {
        if (!join_) {
            append({element, kCrLf});
        } else if (element.empty()) {
            // An empty line ends the paragraph. The paragraph being joined
            // is simply the end of the text, since nothing else is written
            // before it is complete.
            append({kCrLf, kCrLf});
        } else if (startsWith(element, kStaffHeading) || startsWith(element, kAboutHeading)) {
            append({element, kCrLf});  // a section heading keeps its own line
        } else {
            append({trim(element)});  // any other line joins the paragraph, trimmed
        }
    }
    void emptyLine() { line(Line()); }

    // The spaced text ends with CR LF; for the joining pass the empty element
    // after it ends the last paragraph.
    std::optional<std::u16string> finish() {
        if (join_) emptyLine();
        if (overflow_) return std::nullopt;
        return std::move(text_);
    }
    std::size_t size() const { return text_.size(); }

private:
    void append(std::initializer_list<Line> pieces) {
        std::size_t more = 0;
        for (Line piece : pieces) more += piece.size();
        if (overflow_ || text_.size() + more > bound_) {
            overflow_ = true;
            return;
        }
        for (Line piece : pieces) text_.append(piece);
    }

    const bool join_;
    const std::size_t bound_;
    std::u16string text_;
    bool overflow_ = false;
};

// Walks a text made of lines each ended by CR LF.
class LineReader {
public:
    explicit LineReader(Line text) : text_(text) {}
    bool atEnd() const { return pos_ >= text_.size(); }
    Line next() {
        const Line line = peek();
        pos_ += line.size() + kCrLf.size();
        return line;
    }
    // The next line without moving on; empty at the end.
    Line peek() const {
        if (atEnd()) return {};
        const std::size_t end = text_.find(u'\r', pos_);
        return text_.substr(pos_, (end == Line::npos ? text_.size() : end) - pos_);
    }

private:
    Line text_;
    std::size_t pos_ = 0;
};

// The spacing pass: an empty line before and after each run of
// quoted lines and before each bracketed heading, unless the neighbour is
// empty. It takes the result text piece by piece as the scan settles it (each
// piece whole lines ended by CR LF) and holds back one line, since the rules
// for a line look at the line after it. Element 0 is written as it is; the
// empty element after the final CR LF is dropped.
class SpacingPass {
public:
    explicit SpacingPass(ClipWriter& out) : out_(out) {}

    void take(Line text) {
        LineReader reader(text);
        while (!reader.atEnd()) {
            const Line line = reader.next();
            if (!started_) {
                writeFirst(line);
            } else {
                if (holding_) space(held_, line);
                held_ = line;
                holding_ = true;
            }
        }
        // The held line must outlive the text it came from.
        if (holding_ && held_.data() != heldCopy_.data()) {
            heldCopy_.assign(held_);
            held_ = heldCopy_;
        }
    }

    // True when no line has come at all: the result text is empty.
    bool empty() const { return !started_; }

    void finish() {
        if (holding_) space(held_, Line());  // element N, the final empty one
        holding_ = false;
    }

private:
    void writeFirst(Line first) {
        out_.line(first);
        previousEmpty_ = first.empty();
        previousStartsWithQuote_ = startsWith(first, kQuoteMark);
        previousStartsWithCrLf_ = false;
        started_ = true;
    }

    // The spacing around one line, given the line after it.
    void space(Line element, Line next) {
        const bool quoted = startsWith(element, kQuoteMark);

        // A quotation starts with an empty line, unless it follows a quoted
        // line, an empty line, or a line that already got one in front.
        bool before =
            quoted && !previousStartsWithQuote_ && !previousStartsWithCrLf_ && !previousEmpty_;
        // A quotation ends with an empty line. Tested on the line's own
        // text, so a quote of a single line is set apart after it as well as
        // before it.
        const bool after = quoted && !startsWith(next, kQuoteMark) && !next.empty();
        // A bracketed heading gets an empty line in front.
        if (startsWith(element, kHeadingOpen) && endsWith(element, kHeadingClose) &&
            !previousEmpty_) {
            before = true;
        }

        if (before) out_.emptyLine();
        out_.line(element);
        if (after) out_.emptyLine();

        // Element i in its final form, for the rules of element i + 1.
        previousEmpty_ = element.empty() && !before && !after;
        previousStartsWithQuote_ = quoted && !before;
        previousStartsWithCrLf_ = before;
    }

    ClipWriter& out_;
    bool started_ = false;
    bool previousEmpty_ = false;
    bool previousStartsWithQuote_ = false;
    bool previousStartsWithCrLf_ = false;
    bool holding_ = false;
    Line held_;
    std::u16string heldCopy_;
};

enum class ColumnState { Outside, AfterTitle, Collecting };

// The collecting scan over the lines of the column, and the final flush. The pending group is kept
// until it holds an "○": from then on it will be written out at its flush whatever comes, so it is
// handed to the spacing pass line by line as it grows, and the result text is never held as a
// whole.
class CollectingScan {
public:
    CollectingScan(Line column, const Options& options, SpacingPass& spacing,
                   const ClipWriter& written)
        : column_(column), options_(options), spacing_(spacing), written_(written) {}

    // False when the text would pass the output bound.
    bool run() {
        for (std::size_t start = 0;;) {
            line_ = rawLineAt(column_, start);
            current_ = columnLine(line_.text, currentBuffer_);
            noteLineLeavingStaffTail();
            // Each line goes through these rules in this order; each may
            // change the state the later ones see.
            normaliseLine();
            marks_ = marksOf(current_);
            columnMarker();
            titleDetection();
            endOfTitleLeadIn();
            recruitmentHeaders();
            longRule();
            entrySeparator();
            takeLine();
            staffSection();  // may move on to a later line
            serviceSelfDescription();
            if (overflow_) return false;
            if (groupHasEntry_) handOverGroup();
            if (line_.last) break;
            start = line_.next;
        }
        flushPending();  // the last group
        return !overflow_;
    }

private:
    // Trim the line; a line made only of "-", or only of "=",
    // becomes empty.
    void normaliseLine() {
        current_ = trim(current_);
        if (consistsOnlyOf(current_, u'-') || consistsOnlyOf(current_, u'=')) current_ = {};
    }

    // The line with the column marker (always the first line, since
    // the column was cut there) starts outside.
    void columnMarker() {
        if (marks_.square && contains(current_, kColumnMarker)) state_ = ColumnState::Outside;
    }

    // A "●" line is a title when one of the ten lines from it on
    // starts with "○". The lines after it are looked at as they came, not
    // trimmed. The window stops at the last line.
    void titleDetection() {
        if (!startsWith(current_, kTitleMark)) return;
        bool hasEntries = false;
        RawLine line = line_;
        for (std::size_t i = 1; i < kTitleWindow && !line.last && !hasEntries; ++i) {
            line = rawLineAt(column_, line.next);
            hasEntries = firstCharacter(line.text) == kEntryMark;
        }
        // Done once per title, however many lines of the window start with
        // "○": repeating it would write a title that itself holds "○" out
        // again as a group of its own for every further entry line.
        if (!hasEntries) return;
        state_ = ColumnState::AfterTitle;
        if (options_.withTitles) {
            flushPending();
            appendToPending({kCrLf, current_, kCrLf});
        }
    }

    // The first empty line after a title starts the collecting.
    void endOfTitleLeadIn() {
        if (current_.empty() && state_ == ColumnState::AfterTitle) {
            state_ = ColumnState::Collecting;
        }
    }

    // A recruitment header ends the collecting until the next title.
    void recruitmentHeaders() {
        if (state_ != ColumnState::Collecting || !marks_.recruitment) return;
        for (Line ending : kRecruitmentEndings) {
            if (contains(current_, ending)) {
                state_ = ColumnState::Outside;
                return;
            }
        }
    }

    // A long rule with other text on its line ends the collecting.
    void longRule() {
        if (marks_.equals && contains(current_, kLongRule)) state_ = ColumnState::Outside;
    }

    // An empty line before each entry, unless nothing came before.
    void entrySeparator() {
        if (startsWith(current_, kEntryMark) && state_ == ColumnState::Collecting && !groupEmpty_) {
            appendToPending({kCrLf});
        }
    }

    // Take the line (vote lines only with their option).
    void takeLine() {
        if (current_.empty() || state_ != ColumnState::Collecting ||
            startsWith(current_, kTitleMark)) {
            return;
        }
        if (!options_.withVotes && marks_.vote && contains(current_, kVoteMark)) return;
        appendToPending({current_, kCrLf});
    }

    // The staff section, under its own heading. Its lines are copied
    // as they came, blank ones left out, up to a line starting with "=====";
    // the scan then resumes after that line. Without such a line the copy
    // runs to the second-to-last line and the scan goes on after the staff
    // line.
    void staffSection() {
        if (!options_.withStaffWord || !marks_.square || !contains(current_, kStaffOpening)) return;
        appendToPending({kCrLf, kStaffHeading, kCrLf, Line(&kEntryMark, 1),
                         withoutFirstCharacter(current_), kCrLf});

        if (staffTail_.known) {
            // An earlier section already ran to the end: this one copies the
            // same lines from the one after the current line on.
            appendToPending({Line(staffTail_.text).substr(staffTail_.offset)});
            return;
        }
        const std::size_t sectionStart = text_.size();
        for (RawLine line = line_; !line.last && !overflow_;) {
            line = rawLineAt(column_, line.next);
            if (line.last) break;  // the last line is never visited
            const Line staffLine = columnLine(line.text, visitBuffer_);
            if (startsWith(staffLine, kStaffEnd)) {
                // The scan goes on from this line, as it came.
                line_ = line;
                current_ = columnLine(line.text, currentBuffer_);
                marks_ = marksOf(current_);
                return;
            }
            if (!trim(staffLine).empty()) appendToPending({staffLine, kCrLf});
        }
        // No end came, and none can come for any later staff line either.
        // Keep what was copied, so that later sections cost one append
        // instead of a walk over the rest of the issue.
        staffTail_.known = true;
        staffTail_.text = text_.substr(sectionStart);
        staffTail_.offset = 0;
    }

    // Keeps the staff tail's offset in line with the scan: the line that
    // becomes current drops out of what a staff line here would copy.
    void noteLineLeavingStaffTail() {
        if (!staffTail_.known || line_.last) return;
        if (!trim(current_).empty()) staffTail_.offset += current_.size() + kCrLf.size();
    }

    // The service's self-description line, commas unified and
    // half-width spaces removed, under its own heading. It may be the line
    // that ended a staff section (as it came, untrimmed).
    void serviceSelfDescription() {
        const Line line = current_;
        if (!options_.withAbout || !marks_.bracket || !contains(line, kAboutOpening)) return;
        const std::size_t spaces = std::count(line.begin(), line.end(), u' ');
        appendToPending({kCrLf, kAboutHeading, kCrLf, Line(&kEntryMark, 1)});
        if (!fits(line.size() - spaces + kCrLf.size())) return;
        for (char16_t c : line) {
            if (c == u',' || c == u'，') {
                text_ += u'、';
            } else if (c != u' ') {
                text_ += c;
            }
        }
        text_ += kCrLf;
    }

    bool fits(std::size_t more) {
        if (overflow_ || written_.size() + text_.size() + more > options_.maxOutputUnits) {
            overflow_ = true;
        }
        return !overflow_;
    }

    void appendToPending(std::initializer_list<Line> pieces) {
        std::size_t more = 0;
        for (Line piece : pieces) more += piece.size();
        if (!fits(more)) return;
        for (Line piece : pieces) {
            if (!groupHasEntry_ && piece.find(kEntryMark) != Line::npos) groupHasEntry_ = true;
            text_.append(piece);
        }
        groupEmpty_ = false;
    }

    // A group that holds an "○" is sure to be written out: what it holds so
    // far goes on to the spacing pass.
    void handOverGroup() {
        spacing_.take(text_);
        text_.clear();
    }

    // Flushing: the pending group goes to the result text only when it holds
    // an "○" somewhere; either way it is emptied.
    void flushPending() {
        if (groupHasEntry_) handOverGroup();
        text_.clear();
        groupHasEntry_ = false;
        groupEmpty_ = true;
    }

    const Line column_;
    const Options& options_;
    SpacingPass& spacing_;
    const ClipWriter& written_;
    RawLine line_{};
    Line current_;  // the current line, trimmed and rules made empty
    LineMarks marks_;
    std::u16string currentBuffer_;
    std::u16string visitBuffer_;
    ColumnState state_ = ColumnState::Outside;
    std::u16string text_;  // what the pending group holds and has not handed over
    bool groupEmpty_ = true;
    bool groupHasEntry_ = false;
    bool overflow_ = false;

    struct {
        bool known = false;
        std::u16string text;     // the copy of the first section that ran to the end
        std::size_t offset = 0;  // where the copy for the line after the current one starts
    } staffTail_;
};

}  // namespace

std::optional<std::u16string> extractColumn(std::u16string_view issueText, const Options& options) {
    const std::size_t markerAt = lastColumnMarker(issueText);
    if (markerAt == std::u16string_view::npos) return std::nullopt;
    const Line column = issueText.substr(markerAt);

    // One sweep over the column: the scan hands what it settles to the
    // spacing pass, which writes through the joining pass when it is on.
    ClipWriter out(column.size() + column.size() / 8 + 64, options);
    SpacingPass spacing(out);
    CollectingScan scan(column, options, spacing, out);
    if (!scan.run()) return std::nullopt;
    if (spacing.empty()) return std::u16string();  // nothing to take
    spacing.finish();
    return out.finish();
}

}  // namespace sorimba::extraction
