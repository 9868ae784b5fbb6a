#pragma once
// 保　存: a click saves; the right button, and from the keyboard the menu
// key or Shift+F10, ask to choose the save file. Its tooltip and
// description name the save file.

#include <QPushButton>

namespace sorimba {

class SaveButton : public QPushButton {
    Q_OBJECT
public:
    explicit SaveButton(QWidget* parent);
    // Shows the save file, or that none is chosen yet.
    void showSaveFile(QString path);

signals:
    void chooseFileAsked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace sorimba
