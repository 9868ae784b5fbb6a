// Save speed: the cost of a save follows what it adds, not the size of the
// file it adds to; a per-title save with many titles stays quick.
//
// Targets: appending a 2 KB clip text to a 200 MB save file costs at most 3
// times appending it to an empty file; a per-title save of a clip text with
// 500 titles takes under 0.5 s.
//
// The files live in one temporary folder that is removed at the end; the
// large file is cut back to its size after every append, so the disk use
// stays at about 200 MB.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <tuple>
#include <vector>

#include "encoding/encoding.h"
#include "saving/saving.h"

namespace {

using sorimba::saving::saveLines;

QTemporaryDir* scratch = nullptr;
constexpr qint64 kLargeSize = 200LL * 1024 * 1024;

QString scratchPath(const QString& name) {
    return scratch->path() + "/" + name;
}

// About 2 KB on disk: a few entries as the extraction leaves them.
std::vector<QString> smallClip() {
    std::vector<QString> lines{""};
    qsizetype bytes = 0;
    for (int i = 0; bytes < 2048; ++i) {
        QString line = QStringLiteral("○投稿の本文 %1、1,000円くらいの話です。").arg(i);
        bytes += sorimba::encoding::toCp932(line).size() + 4;
        lines.push_back(line);
        lines.push_back(QString());
    }
    return lines;
}

// A clip text with `titles` titles, each with two entries.
std::vector<QString> titledClip(int titles) {
    std::vector<QString> lines{""};
    for (int t = 0; t < titles; ++t) {
        lines.push_back(QStringLiteral("●お題その%1　（担当：スタッフ）").arg(t));
        lines.push_back(QString());
        for (int e = 0; e < 2; ++e) {
            lines.push_back(QStringLiteral("○%1番目の投稿、お題%2について。").arg(e).arg(t));
            lines.push_back(QString());
        }
    }
    return lines;
}

bool makeLargeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QByteArray chunk;
    while (chunk.size() < 1024 * 1024)
        chunk += sorimba::encoding::toCp932(QStringLiteral("○昔の投稿、\"引用\"、1,000円\r\n"));
    chunk.truncate(1024 * 1024);
    for (qint64 written = 0; written < kLargeSize; written += chunk.size())
        if (file.write(chunk) != chunk.size()) return false;
    file.flush();
    ::fsync(file.handle());  // so that no earlier dirty page is timed
    return true;
}

void appendTo(benchmark::State& state, const QString& path, qint64 size) {
    const std::vector<QString> clip = smallClip();
    for (auto _ : state) {
        auto result = saveLines(clip, false, path);
        if (!result.failures.empty()) {
            state.SkipWithError("append failed");
            break;
        }
        state.PauseTiming();
        if (::truncate(QFile::encodeName(path).constData(), size) != 0) {
            state.SkipWithError("truncate failed");
        }
        state.ResumeTiming();
    }
}

void BM_AppendToEmptyFile(benchmark::State& state) {
    const QString path = scratchPath("empty.txt");
    QFile(path).open(QIODevice::WriteOnly | QIODevice::Truncate);
    appendTo(state, path, 0);
    QFile::remove(path);
}

void BM_AppendTo200MBFile(benchmark::State& state) {
    const QString path = scratchPath("large.txt");
    if (!makeLargeFile(path)) {
        state.SkipWithError("cannot build the 200 MB file");
        return;
    }
    appendTo(state, path, kLargeSize);
    QFile::remove(path);
}

// Both appends in turn, so that they meet the same load on a shared disk;
// reports the mean of each and their ratio.
void BM_AppendRatioLargeToEmpty(benchmark::State& state) {
    const QString empty = scratchPath("empty.txt");
    const QString large = scratchPath("large.txt");
    QFile(empty).open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (!makeLargeFile(large)) {
        state.SkipWithError("cannot build the 200 MB file");
        return;
    }
    const std::vector<QString> clip = smallClip();
    using Clock = std::chrono::steady_clock;
    Clock::duration onEmpty{}, onLarge{};
    for (auto _ : state) {
        for (const auto& [path, size, total] :
             {std::tuple{empty, qint64{0}, &onEmpty}, std::tuple{large, kLargeSize, &onLarge}}) {
            const auto started = Clock::now();
            const bool ok = saveLines(clip, false, path).failures.empty();
            *total += Clock::now() - started;
            if (!ok || ::truncate(QFile::encodeName(path).constData(), size) != 0) {
                state.SkipWithError("append failed");
                break;
            }
        }
    }
    const double n = static_cast<double>(state.iterations());
    const double emptyMs = std::chrono::duration<double, std::milli>(onEmpty).count() / n;
    const double largeMs = std::chrono::duration<double, std::milli>(onLarge).count() / n;
    state.counters["empty_ms"] = emptyMs;
    state.counters["large_ms"] = largeMs;
    state.counters["ratio"] = largeMs / emptyMs;
    QFile::remove(empty);
    QFile::remove(large);
}

// range(0): 0 = the title files are new, 1 = they hold earlier saves.
void BM_PerTitle500Titles(benchmark::State& state) {
    const std::vector<QString> clip = titledClip(500);
    QDir folder(scratchPath("titles"));
    folder.mkpath(".");
    const QString savePath = folder.filePath("save.txt");
    if (state.range(0) == 1) saveLines(clip, true, savePath);
    for (auto _ : state) {
        auto result = saveLines(clip, true, savePath);
        if (result.filesWritten != 500) {
            state.SkipWithError("per-title save failed");
            break;
        }
        state.PauseTiming();
        if (state.range(0) == 0) {
            folder.removeRecursively();
            folder.mkpath(".");
        }
        state.ResumeTiming();
    }
    folder.removeRecursively();
}

BENCHMARK(BM_AppendToEmptyFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_AppendTo200MBFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_AppendRatioLargeToEmpty)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(4);
BENCHMARK(BM_PerTitle500Titles)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2);

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir(QDir::tempPath() + "/bench_saving-XXXXXX");
    if (!dir.isValid()) {
        std::fputs("bench_saving: cannot make a temporary folder\n", stderr);
        return 1;
    }
    scratch = &dir;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
