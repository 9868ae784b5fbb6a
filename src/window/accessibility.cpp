#include "window/accessibility.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QVariant>
#include <QWidget>
#include <QWindow>

namespace sorimba {
namespace {

constexpr char kDescription[] = "sorimbaAccessibleDescription";

// The menu or menu bar a menu entry stands in.
QWidget* ownerOf(const QAction* action) {
    for (QObject* object : action->associatedObjects()) {
        if (qobject_cast<QMenu*>(object) || qobject_cast<QMenuBar*>(object))
            return static_cast<QWidget*>(object);
    }
    return nullptr;
}

QString withoutMnemonic(QString text) {
    // "&&" stands for a literal "&"; a single "&" marks the access key.
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) {
                out += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

// A menu entry as Qt presents it (a menu item that can be pressed, or that
// opens its drop-down), with the description the entry was given.
class MenuEntry : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    explicit MenuEntry(QAction* action) : action_(action) {}

    bool isValid() const override { return action_ && ownerOf(action_); }
    QObject* object() const override { return action_; }
    QWindow* window() const override {
        QWidget* owner = ownerOf(action_);
        return owner ? owner->window()->windowHandle() : nullptr;
    }

    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(ownerOf(action_));
    }
    int childCount() const override { return action_->menu() ? 1 : 0; }
    QAccessibleInterface* child(int index) const override {
        if (index != 0 || !action_->menu()) return nullptr;
        return QAccessible::queryAccessibleInterface(action_->menu());
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && action_->menu() && child->object() == action_->menu() ? 0 : -1;
    }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        switch (t) {
            case QAccessible::Name:
                return withoutMnemonic(action_->text());
            case QAccessible::Description:
                return menuEntryDescription(action_);
            case QAccessible::Accelerator:
                return action_->shortcut().toString(QKeySequence::NativeText);
            default:
                return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        QWidget* owner = ownerOf(action_);
        QRect local;
        if (auto* menu = qobject_cast<QMenu*>(owner)) local = menu->actionGeometry(action_);
        if (auto* bar = qobject_cast<QMenuBar*>(owner)) local = bar->actionGeometry(action_);
        if (!owner || local.isNull()) return {};
        return QRect(owner->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override {
        return action_->isSeparator() ? QAccessible::Separator : QAccessible::MenuItem;
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        QWidget* owner = ownerOf(action_);
        if (!owner || !owner->isVisible() || !action_->isVisible()) s.invisible = true;
        if (!action_->isEnabled()) s.disabled = true;
        s.focusable = true;
        if (auto* menu = qobject_cast<QMenu*>(owner)) s.focused = menu->activeAction() == action_;
        if (auto* bar = qobject_cast<QMenuBar*>(owner)) s.focused = bar->activeAction() == action_;
        s.checkable = action_->isCheckable();
        s.checked = action_->isChecked();
        s.hasPopup = action_->menu() != nullptr;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    QStringList actionNames() const override {
        return {action_->menu() ? showMenuAction() : pressAction()};
    }
    void doAction(const QString& name) override {
        if (!action_->isEnabled()) return;
        QWidget* owner = ownerOf(action_);
        if (name == showMenuAction() && action_->menu()) {
            if (auto* bar = qobject_cast<QMenuBar*>(owner)) bar->setActiveAction(action_);
            if (auto* menu = qobject_cast<QMenu*>(owner)) menu->setActiveAction(action_);
        } else if (name == pressAction()) {
            action_->trigger();
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QAction> action_;
};

// Qt asks the factories before it builds its own item for a menu entry.
QAccessibleInterface* describedEntries(const QString& className, QObject* object) {
    if (className != QLatin1String("QAction")) return nullptr;
    auto* action = qobject_cast<QAction*>(object);
    if (!action || !action->property(kDescription).isValid()) return nullptr;
    return new MenuEntry(action);
}

}  // namespace

void describeMenuEntry(QAction* action, const QString& description) {
    static const bool installed = [] {
        QAccessible::installFactory(describedEntries);
        return true;
    }();
    Q_UNUSED(installed);
    action->setProperty(kDescription, description);
}

QString menuEntryDescription(const QAction* action) {
    return action->property(kDescription).toString();
}

}  // namespace sorimba
