#include "window/form1.h"

namespace sorimba {

Form1::Form1(QWidget* parent) : QMainWindow(parent) { setWindowTitle(QStringLiteral("!Sorimba")); }

}  // namespace sorimba
