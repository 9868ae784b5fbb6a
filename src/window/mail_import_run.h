#pragma once
// One import from a mailbox as the window runs it: the work on a thread of
// its own (mail::BackgroundImport), a progress dialog that shows the count
// and can cancel, and the summary when it is over.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "mail/background_import.h"

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
    bool start(const QStringList& sources, const mail::ImportSettings& settings, QString* error);
    bool running() const { return job_.running(); }
    // Cancels and waits until the issues being written are written (the
    // window is closing): no summary follows.
    void cancelAndWait();

signals:
    // The import is over; its summary in words.
    void finished(const QString& summary);

private:
    void poll();

    QPointer<QWidget> window_;
    QPointer<QProgressDialog> dialog_;
    QTimer timer_;
    mail::BackgroundImport job_;
    bool cancelled_ = false;
};

}  // namespace sorimba
