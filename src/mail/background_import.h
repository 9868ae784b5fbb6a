#pragma once
// The batch import off the caller's thread, for a window that must stay
// responsive: start it, look at its progress whenever convenient (a timer),
// cancel it, wait for it. Standard threads; no event loop needed.

#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "mail/mail_import.h"

namespace sorimba::mail {

class BackgroundImport {
public:
    BackgroundImport() = default;
    ~BackgroundImport();  // cancels and waits
    BackgroundImport(const BackgroundImport&) = delete;
    BackgroundImport& operator=(const BackgroundImport&) = delete;

    // Opens the SOURCEs (quickly, on the caller's thread) and starts the
    // import on a thread of its own. False, with *error, when a SOURCE cannot
    // be read; nothing runs then.
    bool start(const QStringList& sources, const ImportSettings& settings, QString* error);

    bool running() const { return thread_.joinable() && !done_.load(); }
    bool done() const { return done_.load(); }
    // The latest progress the import reported.
    ImportProgress progress() const;
    // Asks the import to stop after the issues being written.
    void cancel() { cancelled_.store(true); }
    // Waits until the import has ended and gives its summary (once).
    ImportSummary wait();

private:
    Mailboxes mailboxes_;
    ImportSettings settings_;
    std::thread thread_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> done_{false};
    mutable std::mutex mutex_;
    ImportProgress progress_;
    ImportSummary summary_;
};

}  // namespace sorimba::mail
