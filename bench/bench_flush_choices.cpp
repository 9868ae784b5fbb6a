// The ways to flush many small files that one operation wrote, side by side;
// the measurement behind the choice in src/files/durable.cpp. Not part of
// the report of `make bench`; run it by hand:
//   build/bench_flush_choices
//
// Each round writes N files of 300 bytes (not timed), then times the flush
// of all of them. The second argument chooses how:
//   0   fdatasync of each file in turn;
//   1   writeback of every file started first (sync_file_range), then
//       fdatasync of each in turn;
//   T>1 the same with the fdatasync calls on T threads side by side (the
//       program uses 16).
// 5,000 files are held open at once: raise `ulimit -n` where it is 1,024.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "files/files.h"

namespace {

using sorimba::files::FileDescriptor;

void flushInTurn(const std::vector<FileDescriptor>& files) {
    for (const FileDescriptor& fd : files) ::fdatasync(fd.get());
}

void flushSideBySide(const std::vector<FileDescriptor>& files, size_t threads) {
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i = next++; i < files.size(); i = next++) ::fdatasync(files[i].get());
    };
    std::vector<std::thread> helpers;
    for (size_t k = 1; k < threads; ++k) helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();
}

void BM_FlushManyFiles(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const size_t threads = static_cast<size_t>(state.range(1));
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/bench_flush-XXXXXX"));
    if (!dir.isValid()) {
        state.SkipWithError("no folder for the files");
        return;
    }
    const std::string data(300, 'x');
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<FileDescriptor> files;
        for (int i = 0; i < count; ++i) {
            const QString path = dir.filePath(QStringLiteral("f%1.txt").arg(i));
            files.emplace_back(::open(path.toLocal8Bit().constData(),
                                      O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
            if (!sorimba::files::writeAll(files.back().get(), data)) {
                state.SkipWithError("cannot write the files");
                return;
            }
        }
        state.ResumeTiming();
        if (threads >= 1)
            for (const FileDescriptor& fd : files)
                ::sync_file_range(fd.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
        if (threads > 1) {
            flushSideBySide(files, threads);
        } else {
            flushInTurn(files);
        }
    }
}
BENCHMARK(BM_FlushManyFiles)
    ->ArgsProduct({{500, 5000}, {0, 1, 4, 16, 64}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
