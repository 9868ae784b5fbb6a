#include "window/mail_import_run.h"

#include <QProgressDialog>
#include <QWidget>

#include "mailwords/mail_words.h"

namespace sorimba {

MailImportRun::MailImportRun(QWidget* window) : window_(window) {
    connect(&job_, &mailimport::ImportJob::progressed, this, &MailImportRun::showProgress);
    connect(&job_, &mailimport::ImportJob::finished, this, &MailImportRun::end);
}

MailImportRun::~MailImportRun() {
    cancelAndWait();
}

bool MailImportRun::start(const QStringList& sources, const mailimport::ImportSettings& settings,
                          QString* error) {
    if (const Fault failure = job_.start(sources, settings)) {
        *error = mailwords::mailboxFailure(*failure);
        return false;
    }
    auto* dialog = new QProgressDialog(QStringLiteral("メールを読んでいます…"),
                                       QStringLiteral("キャンセル"), 0, 100, window_);
    dialog->setWindowTitle(QStringLiteral("メールから取り込み"));
    dialog->setAccessibleName(QStringLiteral("メールからの取り込み"));
    dialog->setAccessibleDescription(
        QStringLiteral("取り込みの進み具合です。キャンセルすると、書いている号のあとで止めます"));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setMinimumDuration(0);
    dialog->setAutoReset(false);
    dialog->setAutoClose(false);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // What was saved stays saved; the issues being written are finished.
    connect(dialog, &QProgressDialog::canceled, this, [this] {
        cancelled_ = true;
        job_.cancel();
    });
    dialog->setValue(0);
    dialog->show();
    dialog_ = dialog;
    return true;
}

void MailImportRun::showProgress(const mailimport::ImportProgress& progress) {
    if (!dialog_ || cancelled_) return;
    if (progress.stage == mailimport::ImportProgress::Stage::Reading) {
        dialog_->setLabelText(QStringLiteral("メールを読んでいます…"));
        dialog_->setMaximum(100);
        dialog_->setValue(progress.total > 0 ? int(progress.done * 100 / progress.total) : 0);
    } else {
        dialog_->setLabelText(QStringLiteral("取り込み中：%1 / %2 通（取り込み %3 件）")
                                  .arg(progress.done)
                                  .arg(progress.total)
                                  .arg(progress.imported));
        dialog_->setMaximum(int(std::max<qint64>(progress.total, 1)));
        dialog_->setValue(int(progress.done));
    }
}

void MailImportRun::end(const mailimport::ImportSummary& summary) {
    if (dialog_) dialog_->close();
    emit finished(mailwords::summary(summary));
}

void MailImportRun::cancelAndWait() {
    job_.cancelAndWait();
    if (dialog_) dialog_->close();
}

}  // namespace sorimba
