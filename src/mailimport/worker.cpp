#include "mailimport/worker.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace sorimba::mailimport {
namespace {

// Progress is sent at most this often (and whenever the stage changes): the
// receiving thread redraws, it need not see every message.
constexpr qint64 kProgressMilliseconds = 50;

// The import itself, living on its thread; everything it says is queued.
class Worker : public QObject {
    Q_OBJECT
public:
    Worker(mail::Mailboxes& mailboxes, const ImportSettings& settings)
        : mailboxes_(mailboxes), settings_(settings) {}

    void run() {
        QElapsedTimer clock;
        clock.start();
        ImportProgress::Stage stage = ImportProgress::Stage::Reading;
        const ImportSummary summary =
            importMail(mailboxes_, settings_, [&](const ImportProgress& progress) {
                if (progress.stage != stage || clock.elapsed() >= kProgressMilliseconds) {
                    stage = progress.stage;
                    clock.restart();
                    Q_EMIT progressed(progress);
                }
                // A cancel is looked at between two issues.
                return !QThread::currentThread()->isInterruptionRequested();
            });
        Q_EMIT finished(summary);
    }

Q_SIGNALS:
    void progressed(const sorimba::mailimport::ImportProgress& progress);
    void finished(const sorimba::mailimport::ImportSummary& summary);

private:
    mail::Mailboxes& mailboxes_;
    const ImportSettings& settings_;
};

}  // namespace

ImportJob::ImportJob(QObject* parent) : QObject(parent) {}

ImportJob::~ImportJob() {
    cancelAndWait();
}

Fault ImportJob::start(const QStringList& sources, const ImportSettings& settings) {
    if (thread_ != nullptr) return Failure::of(Failure::Kind::Busy);
    if (Fault failure = mailboxes_.open(sources)) return failure;
    settings_ = settings;
    thread_ = new QThread(this);
    auto* worker = new Worker(mailboxes_, settings_);
    worker->moveToThread(thread_);
    connect(thread_, &QThread::started, worker, &Worker::run);
    connect(thread_, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &Worker::progressed, this, &ImportJob::progressed, Qt::QueuedConnection);
    connect(worker, &Worker::finished, this, &ImportJob::end, Qt::QueuedConnection);
    running_ = true;
    thread_->start();
    return {};
}

void ImportJob::cancel() {
    if (thread_ != nullptr) thread_->requestInterruption();
}

void ImportJob::end(const ImportSummary& summary) {
    thread_->quit();
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    running_ = false;
    Q_EMIT finished(summary);
}

void ImportJob::cancelAndWait() {
    if (thread_ == nullptr) return;
    thread_->requestInterruption();
    thread_->quit();
    thread_->wait();
    // What the worker said meanwhile (its summary too) is not wanted any more.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    delete thread_;
    thread_ = nullptr;
    running_ = false;
}

}  // namespace sorimba::mailimport

#include "worker.moc"
