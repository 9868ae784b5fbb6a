#include "window/save_button.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace sorimba {

SaveButton::SaveButton(QWidget* parent) : QPushButton(QStringLiteral("保　存"), parent) {}

void SaveButton::showSaveFile(QString path) {
    path.replace(QChar(0), QChar(0x2400));  // a NUL would cut the text short
    const QString where = path.isEmpty() ? QStringLiteral("保存先：まだ選ばれていません")
                                         : QStringLiteral("保存先：") + path;
    setToolTip(QStringLiteral("右クリックで保存場所の変更\n") + where);
    setAccessibleDescription(QStringLiteral("文章を保存先のファイルに足します（Ctrl+S）。"
                                            "保存先は右クリック、メニューキー、Ctrl+Shift+S "
                                            "で選べます。") +
                             where);
}

void SaveButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) emit chooseFileAsked();
    QPushButton::mousePressEvent(event);
}

void SaveButton::contextMenuEvent(QContextMenuEvent* event) {
    // A right press has chosen already; its context menu event must not
    // choose a second time.
    if (event->reason() == QContextMenuEvent::Keyboard) emit chooseFileAsked();
    event->accept();
}

void SaveButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        emit chooseFileAsked();
        return;
    }
    QPushButton::keyPressEvent(event);
}

}  // namespace sorimba
