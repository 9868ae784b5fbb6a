#pragma once
// The font dialog of sharedDialog: face, size (fractional sizes such as
// 10.5 allowed), colour and a preview. Only these three values go in and
// come out; weight and style are never offered.

#include <QDialog>
#include <cstdint>

class QDoubleSpinBox;
class QFontComboBox;
class QLabel;
class QPushButton;

namespace sorimba {

class FontDialog : public QDialog {
    Q_OBJECT
public:
    FontDialog(QWidget* parent, const QString& fontName, double fontSize, std::int32_t colourCode);

    // The choice: the face as typed or picked (the starting name when left
    // empty), the size in points and the colour code. A colour that was not
    // changed keeps its code, so a system colour stays a system colour.
    QString fontName() const;
    double fontSize() const;
    std::int32_t colourCode() const { return colour_; }

    void setColourCode(std::int32_t code);

    QFontComboBox* faceBox() const { return face_; }
    QDoubleSpinBox* sizeBox() const { return size_; }
    QPushButton* colourButton() const { return colourButton_; }

    static constexpr double kMinSize = 1;
    static constexpr double kMaxSize = 1638;

private:
    void chooseColour();
    void updatePreview();

    QString startName_;
    std::int32_t colour_;
    QFontComboBox* face_;
    QDoubleSpinBox* size_;
    QPushButton* colourButton_;
    QLabel* preview_;
};

}  // namespace sorimba
