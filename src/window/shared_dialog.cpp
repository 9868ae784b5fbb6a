#include "window/shared_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <array>

#include "window/font_dialog.h"

namespace sorimba {

Answer SharedDialog::message(QWidget* parent, const QString& text, Buttons buttons) {
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("!Sorimba"));
    box.setIcon(QMessageBox::NoIcon);
    box.setTextFormat(Qt::PlainText);  // paths may hold "<" and "&"
    box.setText(text);

    QPushButton* ok = nullptr;
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    QPushButton* cancel = nullptr;
    switch (buttons) {
        case Buttons::Ok:
            ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
            box.setDefaultButton(ok);
            box.setEscapeButton(ok);
            break;
        case Buttons::YesNo:
            yes = box.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
            no = box.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
            box.setDefaultButton(yes);
            box.setEscapeButton(no);
            break;
        case Buttons::YesNoCancel:
            yes = box.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
            no = box.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
            cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
            box.setDefaultButton(yes);
            box.setEscapeButton(cancel);
            break;
    }
    box.exec();

    const QAbstractButton* clicked = box.clickedButton();
    if (clicked != nullptr && clicked == yes) return Answer::Yes;
    if (clicked != nullptr && clicked == no) return Answer::No;
    if (clicked != nullptr && clicked == ok) return Answer::Ok;
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::YesNo:
            return Answer::No;
        case Buttons::YesNoCancel:
            return Answer::Cancel;
    }
    return Answer::Cancel;
}

std::optional<QString> SharedDialog::chooseFile(QWidget* parent, FileChoice purpose) {
    // Titled for what the file is chosen for, and its OK button says so.
    const bool saveFile = purpose == FileChoice::SaveFile;
    QFileDialog dialog(parent, saveFile ? QStringLiteral("保存先のファイルを選ぶ")
                                        : QStringLiteral("変換するファイルを選ぶ"));
    dialog.setLabelText(QFileDialog::Accept,
                        saveFile ? QStringLiteral("保存先にする") : QStringLiteral("変換へ進む"));
    // Qt's own dialog: a native one may refuse names of files not there yet.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("テキストファイル (*.txt)"));
    if (!fileName.isEmpty()) {
        const QFileInfo start(fileName);
        dialog.setDirectory(start.absolutePath());
        dialog.selectFile(start.fileName());
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
    fileName = QFileInfo(chosen.first()).absoluteFilePath();
    return fileName;
}

std::optional<SharedDialog::FontChoice> SharedDialog::chooseFont(QWidget* parent,
                                                                 const FontChoice& current) {
    FontDialog dialog(parent, current.name, current.size, current.colour);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return FontChoice{dialog.fontName(), dialog.fontSize(), dialog.colourCode()};
}

namespace {

// The palette role standing in for each Windows system colour, by index.
constexpr std::array<QPalette::ColorRole, 31> kSystemRoles = {
    QPalette::Button,           // 0: scroll bar
    QPalette::Window,           // 1: desktop
    QPalette::Highlight,        // 2: active caption
    QPalette::Mid,              // 3: inactive caption
    QPalette::Window,           // 4: menu
    QPalette::Base,             // 5: window
    QPalette::Shadow,           // 6: window frame
    QPalette::WindowText,       // 7: menu text
    QPalette::Text,             // 8: window text
    QPalette::HighlightedText,  // 9: caption text
    QPalette::Window,           // 10: active border
    QPalette::Window,           // 11: inactive border
    QPalette::Mid,              // 12: application workspace
    QPalette::Highlight,        // 13: highlight
    QPalette::HighlightedText,  // 14: highlighted text
    QPalette::Button,           // 15: button face
    QPalette::Dark,             // 16: button shadow
    QPalette::PlaceholderText,  // 17: grey text
    QPalette::ButtonText,       // 18: button text
    QPalette::Text,             // 19: inactive caption text
    QPalette::Light,            // 20: button highlight
    QPalette::Shadow,           // 21: 3D dark shadow
    QPalette::Midlight,         // 22: 3D light
    QPalette::ToolTipText,      // 23: tooltip text
    QPalette::ToolTipBase,      // 24: tooltip background
    QPalette::Window,           // 25: no element of its own; taken as a face colour
    QPalette::Link,             // 26: hot-tracked item
    QPalette::Highlight,        // 27: caption gradient
    QPalette::Mid,              // 28: inactive caption gradient
    QPalette::Highlight,        // 29: menu highlight
    QPalette::Window,           // 30: menu bar
};

std::optional<QPalette::ColorRole> systemRole(std::uint32_t index) {
    if (index >= kSystemRoles.size()) return std::nullopt;
    return kSystemRoles[index];
}

}  // namespace

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

std::optional<QColor> colourOfCode(std::int32_t code) {
    const auto bits = static_cast<std::uint32_t>(code);
    if ((bits & 0xFF000000u) == 0) {
        return QColor(int(bits & 0xFF), int((bits >> 8) & 0xFF), int((bits >> 16) & 0xFF));
    }
    if ((bits & 0xFF000000u) == 0x80000000u) {
        if (auto role = systemRole(bits & 0x00FFFFFFu)) return QApplication::palette().color(*role);
    }
    return std::nullopt;
}

std::int32_t codeOfColour(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return std::int32_t(rgb.red()) | (std::int32_t(rgb.green()) << 8) |
           (std::int32_t(rgb.blue()) << 16);
}

}  // namespace sorimba
