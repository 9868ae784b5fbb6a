// Throughput of the column extraction on generated issues of 1 MB and 50 MB
// (bytes of UTF-16), every option on, by itself and as the programs run it
// (import::extractClip). Targets: at least 200 MB/s on one core, and the
// 50 MB run costing at most 60 times the 1 MB run.
//
//   bench_extraction --write-issue FILE MEGABYTES
// writes the same generated issue as UTF-8 with CR LF line ends, for
// measuring `sorimba-clip extract` from the shell.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "extraction/extraction.h"
#include "import/import.h"

namespace {

using sorimba::extraction::extractColumn;
using sorimba::extraction::Options;

const char16_t* const kThemes[] = {
    u"身近な発見",       u"子どもの頃の遊び", u"忘れられない味", u"最近買ってよかったもの",
    u"ちょっとした失敗", u"冬の過ごし方",     u"わが家のルール"};
const char16_t* const kNames[] = {u"さくら",   u"ぽんた", u"みかん", u"しろくま",
                                  u"ねこまる", u"たぬき", u"こぐま"};
const char16_t* const kBodies[] = {
    u"近所の公園に新しいベンチができていました。座ってみると意外と高くて、足が届きません。",
    u"子どもの頃は毎日のように缶けりをしていました。鬼になると日が暮れるまで終わらない。",
    u"祖母の作る甘い卵焼きが忘れられません。同じように作っても、なぜかあの味にならない。",
    u"  字下げした行も混ざります。そのまま残るのはスタッフ欄だけです。",
    u"Linux で読んでいます。ASCII 混じりの行, カンマ, 句読点、いろいろ。"};

std::u16string number(std::size_t n) {
    std::u16string s;
    const std::string digits = std::to_string(n);
    for (char c : digits) s += static_cast<char16_t>(c);
    return s;
}

// One topic of the column: title, lead-in, entries with quotes, votes and a
// bracketed heading, a recruitment notice, a rule line; every so often a
// staff section ended by "=====".
void appendTopic(std::u16string& text, std::size_t n) {
    const auto line = [&text](std::u16string_view s) {
        text += s;
        text += u"\r\n";
    };
    line(u"●お題その" + number(n) + u"　" + kThemes[n % 7]);
    line(u"今週のお題です。みなさんの体験を教えてください。");
    line(u"");
    for (std::size_t e = 0; e < 4; ++e) {
        line((e % 2 ? u"〇" : u"○") + std::u16string(kNames[(n + e) % 7]) + u"さんより");
        line(kBodies[(n + e) % 5]);
        line(kBodies[(n + e + 2) % 5]);
        if (e == 1) {
            line(u">引用された一言です。");
            line(u">もう一行。");
        }
        if (e == 2) line(u"【ひとこと】");
        line(u"まとめの一行。");
        if (e % 2 == 0) line(u"◇これに一票");
        line(u"");
    }
    line(u"【次回の回答募集中】");
    line(u"次回のお題は「" + std::u16string(kThemes[(n + 1) % 7]) + u"」です。");
    line(u"");
    line(u"--------------------------------------------------");
    if (n % 100 == 99) {
        line(u"■スタッフより");
        line(u"  今週もたくさんの投稿ありがとうございました。");
        line(u"");
        line(u"  来週もお楽しみに。");
        line(u"=====");
        line(u"【ウィークリーぴこぴこは、毎週, 月曜日に発行，しています】");
    }
    line(u"");
}

// An issue of at least the given size in bytes of UTF-16.
std::u16string generateIssue(std::size_t bytes) {
    const std::size_t units = bytes / 2;
    std::u16string text;
    text.reserve(units + 4096);
    text += u"ウィークリーぴこぴこ　第100号\r\n目次：■ぴこぴこＺＯＫ、■スタッフより\r\n\r\n";
    text += u"■ぴこぴこＺＯＫ\r\n\r\n";
    for (std::size_t n = 0; text.size() < units; ++n) appendTopic(text, n);
    text.resize(units);
    return text;
}

const std::u16string& issueOf(std::size_t bytes) {
    static std::map<std::size_t, std::u16string> cache;
    auto [it, added] = cache.try_emplace(bytes);
    if (added) it->second = generateIssue(bytes);
    return it->second;
}

void BM_ExtractAllOptions(benchmark::State& state) {
    const std::u16string& issue = issueOf(static_cast<std::size_t>(state.range(0)) << 20);
    const Options all{.withTitles = true,
                      .withVotes = true,
                      .withStaffWord = true,
                      .withAbout = true,
                      .joinLines = true};
    std::size_t clipUnits = 0;
    for (auto _ : state) {
        std::optional<std::u16string> clip = extractColumn(issue, all);
        if (!clip) state.SkipWithError("column missing");
        clipUnits = clip ? clip->size() : 0;
        benchmark::DoNotOptimize(clip);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * issue.size() * 2));
    state.counters["clip_MB"] = static_cast<double>(clipUnits * 2) / (1 << 20);
}
BENCHMARK(BM_ExtractAllOptions)->Arg(1)->Arg(50)->Unit(benchmark::kMillisecond);

// The same through import::extractClip, as the window and sorimba-clip run
// it: the clip text goes into memory prepared for a large text.
void BM_ExtractClipAllOptions(benchmark::State& state) {
    const std::u16string& units = issueOf(static_cast<std::size_t>(state.range(0)) << 20);
    const QString issue(reinterpret_cast<const QChar*>(units.data()),
                        static_cast<qsizetype>(units.size()));
    const Options all{.withTitles = true,
                      .withVotes = true,
                      .withStaffWord = true,
                      .withAbout = true,
                      .joinLines = true};
    for (auto _ : state) {
        std::optional<std::u16string> clip = sorimba::import::extractClip(issue, all);
        if (!clip) state.SkipWithError("column missing");
        benchmark::DoNotOptimize(clip);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * units.size() * 2));
}
BENCHMARK(BM_ExtractClipAllOptions)->Arg(1)->Arg(50)->Unit(benchmark::kMillisecond);

int writeIssue(const char* path, std::size_t megabytes) {
    const std::u16string issue = generateIssue(megabytes << 20);
    std::string utf8;
    utf8.reserve(issue.size() * 3);
    for (char16_t c : issue) {  // the generated text is in the BMP
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    FILE* f = std::fopen(path, "wb");
    if (!f || std::fwrite(utf8.data(), 1, utf8.size(), f) != utf8.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return 1;
    }
    std::printf("%s: %zu bytes of UTF-8, %zu bytes of UTF-16\n", path, utf8.size(),
                issue.size() * 2);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--write-issue") == 0) {
        return writeIssue(argv[2], std::strtoul(argv[3], nullptr, 10));
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
