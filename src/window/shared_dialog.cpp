#include "window/shared_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>

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

// The system colours by index, as far as the palette has a counterpart.
std::optional<QPalette::ColorRole> systemRole(std::uint32_t index) {
    switch (index) {
        case 0:
            return QPalette::Button;  // scroll bar
        case 1:
            return QPalette::Window;  // desktop
        case 2:
            return QPalette::Highlight;  // active caption
        case 3:
            return QPalette::Mid;  // inactive caption
        case 4:
            return QPalette::Window;  // menu
        case 5:
            return QPalette::Base;  // window
        case 6:
            return QPalette::Shadow;  // window frame
        case 7:
            return QPalette::WindowText;  // menu text
        case 8:
            return QPalette::Text;  // window text
        case 9:
            return QPalette::HighlightedText;  // caption text
        case 10:
            return QPalette::Window;  // active border
        case 11:
            return QPalette::Window;  // inactive border
        case 12:
            return QPalette::Mid;  // application workspace
        case 13:
            return QPalette::Highlight;  // highlight
        case 14:
            return QPalette::HighlightedText;  // highlighted text
        case 15:
            return QPalette::Button;  // button face
        case 16:
            return QPalette::Dark;  // button shadow
        case 17:
            return QPalette::PlaceholderText;  // grey text
        case 18:
            return QPalette::ButtonText;  // button text
        case 19:
            return QPalette::Text;  // inactive caption text
        case 20:
            return QPalette::Light;  // button highlight
        case 21:
            return QPalette::Shadow;  // 3D dark shadow
        case 22:
            return QPalette::Midlight;  // 3D light
        case 23:
            return QPalette::ToolTipText;  // tooltip text
        case 24:
            return QPalette::ToolTipBase;  // tooltip background
        case 25:
            return QPalette::Window;  // no element of its own; taken as a face colour
        case 26:
            return QPalette::Link;  // hot-tracked item
        case 27:
            return QPalette::Highlight;  // caption gradient
        case 28:
            return QPalette::Mid;  // inactive caption gradient
        case 29:
            return QPalette::Highlight;  // menu highlight
        case 30:
            return QPalette::Window;  // menu bar
        default:
            return std::nullopt;
    }
}

}  // namespace

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
