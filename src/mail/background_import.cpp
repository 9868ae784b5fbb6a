#include "mail/background_import.h"

namespace sorimba::mail {

BackgroundImport::~BackgroundImport() {
    if (thread_.joinable()) {
        cancel();
        thread_.join();
    }
}

bool BackgroundImport::start(const QStringList& sources, const ImportSettings& settings,
                             QString* error) {
    if (thread_.joinable()) {
        *error = QStringLiteral("取り込みはすでに実行中です");
        return false;
    }
    if (!mailboxes_.open(sources, error)) return false;
    settings_ = settings;
    cancelled_.store(false);
    done_.store(false);
    thread_ = std::thread([this] {
        ImportSummary summary = importMail(mailboxes_, settings_, [this](const ImportProgress& p) {
            std::lock_guard lock(mutex_);
            progress_ = p;
            return !cancelled_.load();
        });
        {
            std::lock_guard lock(mutex_);
            summary_ = std::move(summary);
        }
        done_.store(true);
    });
    return true;
}

ImportProgress BackgroundImport::progress() const {
    std::lock_guard lock(mutex_);
    return progress_;
}

ImportSummary BackgroundImport::wait() {
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    return std::move(summary_);
}

}  // namespace sorimba::mail
