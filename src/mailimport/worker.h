#pragma once
// The batch import off the caller's thread, for a window that must stay
// responsive: a worker on a QThread of its own, its progress and its
// summary arriving as queued signals in the thread that started it.

#include <QObject>
#include <QStringList>
#include <QThread>

#include "mail/mailbox.h"
#include "mailimport/mail_import.h"

namespace sorimba::mailimport {

class ImportJob : public QObject {
    Q_OBJECT
public:
    explicit ImportJob(QObject* parent = nullptr);
    ~ImportJob() override;  // cancels and waits: no summary follows

    // Opens the SOURCEs (quickly, on the caller's thread) and starts the
    // import on a thread of its own. The failure of a SOURCE that cannot be
    // read (mail::Mailboxes::open), or Busy while an import runs already;
    // nothing runs then.
    Fault start(const QStringList& sources, const ImportSettings& settings);

    // From start() until finished() has been emitted.
    bool running() const { return running_; }
    // Asks the import to stop between two issues; finished() still follows,
    // after the issues gathered so far are written.
    void cancel();
    // Cancels and waits until the issues being written are written; the
    // summary is dropped (the caller is going away).
    void cancelAndWait();

Q_SIGNALS:
    void progressed(const sorimba::mailimport::ImportProgress& progress);
    void finished(const sorimba::mailimport::ImportSummary& summary);

private:
    void end(const ImportSummary& summary);

    mail::Mailboxes mailboxes_;
    ImportSettings settings_;
    QThread* thread_ = nullptr;
    bool running_ = false;
};

}  // namespace sorimba::mailimport
