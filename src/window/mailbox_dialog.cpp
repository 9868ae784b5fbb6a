#include "window/mailbox_dialog.h"

#include <QFileDialog>
#include <QFileInfo>

namespace sorimba {

QString chooseMailboxPath(QWidget* parent, bool folder, const QString& last) {
    QFileDialog dialog(parent, folder ? QStringLiteral("取り込む Maildir フォルダを選ぶ")
                                      : QStringLiteral("取り込む mbox ファイルを選ぶ"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("取り込む"));
    dialog.setFileMode(folder ? QFileDialog::Directory : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ShowDirsOnly, folder);
    if (!last.isEmpty()) {
        const QFileInfo lastInfo(last);
        dialog.setDirectory(lastInfo.absolutePath());
        dialog.selectFile(lastInfo.fileName());
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
}

}  // namespace sorimba
