#include "window/font_dialog.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFontComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "window/shared_dialog.h"

namespace sorimba {
namespace {

// Sizes with up to four decimals, shown without trailing zeros ("9", "10.5").
class SizeBox : public QDoubleSpinBox {
public:
    using QDoubleSpinBox::QDoubleSpinBox;

protected:
    QString textFromValue(double value) const override {
        QString text = QString::number(value, 'f', decimals());
        if (text.contains(QLatin1Char('.'))) {
            while (text.endsWith(QLatin1Char('0'))) text.chop(1);
            if (text.endsWith(QLatin1Char('.'))) text.chop(1);
        }
        return text;
    }
};

}  // namespace

FontDialog::FontDialog(QWidget* parent, const QString& fontName, double fontSize,
                       std::int32_t colourCode)
    : QDialog(parent), startName_(fontName), colour_(colourCode) {
    setWindowTitle(QStringLiteral("フォント"));
    setModal(true);

    face_ = new QFontComboBox(this);
    face_->setEditable(true);
    if (!fontName.isEmpty()) face_->setCurrentFont(QFont(fontName));
    // Keep the stored face as it is written, even when Qt shows a stand-in.
    face_->setEditText(fontName);

    size_ = new SizeBox(this);
    size_->setLocale(QLocale::c());
    size_->setDecimals(4);
    size_->setRange(kMinSize, kMaxSize);
    size_->setSingleStep(1);
    size_->setValue(fontSize > 0 ? fontSize : 9);

    colourButton_ = new QPushButton(QStringLiteral("色の選択..."), this);
    colourButton_->setAutoDefault(false);

    preview_ = new QLabel(QStringLiteral("あアｱ亜 AaBbYyZz 123"), this);
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setMinimumSize(260, 60);
    auto* previewBox = new QGroupBox(QStringLiteral("サンプル"), this);
    auto* previewLayout = new QVBoxLayout(previewBox);
    previewLayout->addWidget(preview_);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("フォント名:"), face_);
    form->addRow(QStringLiteral("サイズ:"), size_);
    form->addRow(QStringLiteral("色:"), colourButton_);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(previewBox);
    layout->addWidget(buttons);

    connect(colourButton_, &QPushButton::clicked, this, &FontDialog::chooseColour);
    connect(face_, &QComboBox::editTextChanged, this, &FontDialog::updatePreview);
    connect(size_, &QDoubleSpinBox::valueChanged, this, &FontDialog::updatePreview);
    updatePreview();
}

QString FontDialog::fontName() const {
    const QString typed = face_->currentText().trimmed();
    return typed.isEmpty() ? startName_ : typed;
}

double FontDialog::fontSize() const {
    return size_->value();
}

void FontDialog::setColourCode(std::int32_t code) {
    colour_ = code;
    updatePreview();
}

void FontDialog::chooseColour() {
    const QColor start = colourOfCode(colour_).value_or(palette().color(QPalette::Text));
    const QColor chosen = QColorDialog::getColor(start, this, QStringLiteral("色の選択"));
    if (chosen.isValid()) setColourCode(codeOfColour(chosen));
}

void FontDialog::updatePreview() {
    QFont font = preview_->font();
    font.setFamily(fontName());
    font.setPointSizeF(fontSize());
    preview_->setFont(font);
    const QColor colour = colourOfCode(colour_).value_or(palette().color(QPalette::Text));
    QPalette p = preview_->palette();
    p.setColor(QPalette::WindowText, colour);
    preview_->setPalette(p);
    QPixmap swatch(16, 16);
    swatch.fill(colour);
    colourButton_->setIcon(QIcon(swatch));
}

}  // namespace sorimba
