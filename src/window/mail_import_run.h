#pragma once
// One import from a mailbox as the window runs it: the work on a thread of
// its own (mailimport::ImportJob), a progress dialog that shows the count
// and can cancel, and the summary when it is over.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "mailimport/worker.h"

class QProgressDialog;
class QWidget;

namespace sorimba {

class MailImportRun : public QObject {
    Q_OBJECT
public:
    explicit MailImportRun(QWidget* window);
    ~MailImportRun() override;  // cancels and waits

    // Starts importing the mailboxes (mbox files, Maildir folders, message
    // files) and shows the progress dialog. False, with *error, when one
    // cannot be read; nothing runs then.
    bool start(const QStringList& sources, const mailimport::ImportSettings& settings,
               QString* error);
    bool running() const { return job_.running(); }
    // Cancels and waits until the issues being written are written (the
    // window is closing): no summary follows.
    void cancelAndWait();

signals:
    // The import is over; its summary in words.
    void finished(const QString& summary);

private:
    void showProgress(const mailimport::ImportProgress& progress);
    void end(const mailimport::ImportSummary& summary);

    QPointer<QWidget> window_;
    QPointer<QProgressDialog> dialog_;
    mailimport::ImportJob job_;
    bool cancelled_ = false;
};

}  // namespace sorimba
