#include "window/on_top.h"

#include <QWidget>

namespace sorimba {

std::int32_t setOnTopMode(QWidget* window, int mode) {
    if (window == nullptr || mode < 0 || mode > 2) return 0;

    if (mode != 2) {
        const bool above = mode == 1;
        const bool isAbove = window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        if (above != isAbove) {
            // Qt recreates the native window for a new flag and hides it on
            // the way; put it back where it was, at the size it had.
            const bool wasVisible = window->isVisible();
            const QPoint position = window->pos();
            const QSize size = window->size();
            const Qt::WindowStates states = window->windowState();
            window->setWindowFlag(Qt::WindowStaysOnTopHint, above);
            if (wasVisible) {
                window->move(position);
                window->resize(size);
                const Qt::WindowStates kept =
                    states & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen);
                if (kept != Qt::WindowNoState) window->setWindowState(kept);
            }
        }
    }
    window->show();
    window->raise();
    window->activateWindow();
    return 1;
}

}  // namespace sorimba
