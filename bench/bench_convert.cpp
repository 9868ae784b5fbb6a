// Paragraph conversion: one large file against copying it with cp on the
// same disk, and the folder mode over many small files.
//
// Targets: converting a 100 MB file costs at most 4 times copying it with
// cp; a folder of 5,000 small .txt files converts in under 2 s.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdlib>
#include <string>

#include "convert/convert.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Code page 932 text as a reader's file holds it: paragraphs of a few lines
// of Japanese with some ASCII, an empty line after each.
std::string sampleText(size_t size) {
    // "ぴこぴこの投稿、" and "ＡＢＣ　" in code page 932, with ASCII between.
    const std::string kana = "\x82\xd2\x82\xb1\x82\xd2\x82\xb1\x82\xcc\x93\x8a\x8d\x65\x81\x41";
    const std::string wide = "\x82\x60\x82\x61\x82\x62\x81\x40";
    std::string text;
    text.reserve(size + 256);
    for (unsigned n = 0; text.size() < size; ++n) {
        text += kana + wide + std::to_string(n) + " line of a paragraph " + kana;
        text += (n % 5 == 4) ? "\r\n\r\n" : "\r\n";
    }
    return text;
}

bool writeBytes(const QString& path, const std::string& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           f.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
               static_cast<qint64>(bytes.size());
}

std::string quoted(const QString& path) {
    return "'" + path.toStdString() + "'";
}

bool shell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// Each round copies the original with cp (timed), then converts the copy
// (timed): both on the same disk, in the same run, from the page cache.
void BM_Convert100MBVersusCp(benchmark::State& state) {
    QTemporaryDir dir;
    const QString original = dir.filePath(QStringLiteral("original.txt"));
    const QString copy = dir.filePath(QStringLiteral("copy.txt"));
    if (!dir.isValid() || !writeBytes(original, sampleText(100u << 20))) {
        state.SkipWithError("cannot write the sample file");
        return;
    }
    const std::string cp = "cp " + quoted(original) + " " + quoted(copy);
    double cpTotal = 0, convertTotal = 0;
    for (auto _ : state) {
        QFile::remove(copy);
        auto start = Clock::now();
        if (!shell(cp)) {
            state.SkipWithError("cp failed");
            return;
        }
        const double cpSeconds = secondsSince(start);

        start = Clock::now();
        if (sorimba::convert::convertFile(copy)) {
            state.SkipWithError("conversion failed");
            return;
        }
        const double convertSeconds = secondsSince(start);
        state.SetIterationTime(convertSeconds);
        cpTotal += cpSeconds;
        convertTotal += convertSeconds;
    }
    const double rounds = static_cast<double>(state.iterations());
    state.counters["cp_ms"] = 1000 * cpTotal / rounds;
    state.counters["convert_ms"] = 1000 * convertTotal / rounds;
    state.counters["ratio"] = convertTotal / cpTotal;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (100 << 20));
}
BENCHMARK(BM_Convert100MBVersusCp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The conversion in memory alone, without the files.
void BM_JoinParagraphs100MB(benchmark::State& state) {
    const std::string text = sampleText(100u << 20);
    for (auto _ : state) {
        QByteArray out = sorimba::convert::joinParagraphs(text);
        benchmark::DoNotOptimize(out.constData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_JoinParagraphs100MB)->Unit(benchmark::kMillisecond);

// Flushes the files f0.txt ... of a folder and the folder itself, so that
// no write of the set-up is left for the timed part.
void settle(const QString& folder, int files) {
    auto each = [&](auto&& fn) {
        for (int i = 0; i < files; ++i) {
            const QString path = folder + QStringLiteral("/f%1.txt").arg(i);
            const sorimba::files::FileDescriptor fd(
                ::open(path.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC));
            fn(fd.get());
        }
    };
    each([](int fd) { ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE); });
    each([](int fd) { ::fdatasync(fd); });
    const sorimba::files::FileDescriptor dir(
        ::open(folder.toLocal8Bit().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ::fsync(dir.get());
}

// Folder mode over 5,000 small files that all need converting. Argument 0:
// on the disk; 1: in memory (/dev/shm), which shows the cost of the work
// itself without the disk flush that puts each file safely in place.
void BM_Folder5000Files(benchmark::State& state) {
    const bool inMemory = state.range(0) == 1;
    QTemporaryDir dir(inMemory ? QStringLiteral("/dev/shm/bench_convert-XXXXXX")
                               : QDir::tempPath() + QStringLiteral("/bench_convert-XXXXXX"));
    if (!dir.isValid()) {
        state.SkipWithError("no folder for the files");
        return;
    }
    const std::string small = sampleText(300);
    const int kFiles = 5000;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < kFiles; ++i) {
            if (!writeBytes(dir.filePath(QStringLiteral("f%1.txt").arg(i)), small)) {
                state.SkipWithError("cannot write the sample files");
                return;
            }
        }
        // The files just written go to the disk before the clock runs.
        settle(dir.path(), kFiles);
        state.ResumeTiming();
        sorimba::convert::FolderOutcome done = sorimba::convert::convertFolder(dir.path());
        if (done.converted != kFiles) {
            state.SkipWithError("not every file was converted");
            return;
        }
    }
}
BENCHMARK(BM_Folder5000Files)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
