#include "kit.h"

#include "resources.h"
#include "rwini.h"
#include "seams.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>

namespace tideedit {

Qt::WindowFlags frameFlags() {
    return Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
}

void centreOnScreen(QWidget& window) {
    QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    const QRect area = screen->availableGeometry();
    // The frame is not known before the window is shown; the client area
    // stands for it.
    QRect placed(QPoint(), window.size());
    placed.moveCenter(area.center());
    window.move(placed.topLeft());
}

namespace {

QIcon iconFrom(const QString& name) {
    tide::initResources();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/tide/%1-%2.png").arg(name).arg(size), QSize(size, size));
    }
    return icon;
}

int firstLineBreak(const QString& text) {
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\n') || text[i] == QLatin1Char('\r')) {
            return i;
        }
    }
    return -1;
}

class MaximiseFilter : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* window = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::WindowStateChange && window && window->isMaximized()) {
            // Set back once the window system has finished its change.
            QMetaObject::invokeMethod(
                window,
                [window] { window->setWindowState(window->windowState() & ~Qt::WindowMaximized); },
                Qt::QueuedConnection);
        }
        return false;
    }
};

class EnterFilter : public QObject {
public:
    EnterFilter(QWidget& window, QPushButton& button) : QObject(&window), button_(button) {}

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if (!enter || mods != Qt::NoModifier || !button_.isEnabled()) {
            return false;
        }
        button_.click();
        return true;
    }

private:
    QPushButton& button_;
};

} // namespace

QIcon editorIcon() {
    static const QIcon icon = iconFrom(QStringLiteral("tideedit"));
    return icon;
}

QIcon panelIcon() {
    static const QIcon icon = iconFrom(QStringLiteral("tidepanel"));
    return icon;
}

LineBox::LineBox() {
    connect(this, &QLineEdit::textChanged, this, &LineBox::cutLineBreaks);
}

void LineBox::setText(const QString& text) {
    const int cut = firstLineBreak(text);
    QLineEdit::setText(cut < 0 ? text : text.left(cut));
    // A long text is seen from its start, as a loaded value should be.
    setCursorPosition(0);
}

void LineBox::cutLineBreaks(const QString& now) {
    if (firstLineBreak(now) < 0) {
        last_ = now;
        return;
    }
    // What was put in is what lies between the part kept in front and the
    // part kept behind; of that, only what precedes its first line break stays.
    int front = 0;
    while (front < now.size() && front < last_.size() && now[front] == last_[front]) {
        ++front;
    }
    int back = 0;
    while (back < now.size() - front && back < last_.size() - front &&
           now[now.size() - 1 - back] == last_[last_.size() - 1 - back]) {
        ++back;
    }
    QString put = now.mid(front, now.size() - front - back);
    const int cut = firstLineBreak(put);
    if (cut >= 0) {
        put.truncate(cut);
    }
    QString kept = now.left(front) + put + now.right(back);
    const int left = firstLineBreak(kept);
    if (left >= 0) {
        kept.truncate(left);
    }
    last_ = kept;
    QLineEdit::setText(kept);
    setCursorPosition(std::min(int(front + put.size()), int(kept.size())));
}

void refuseMaximise(QWidget& window) {
    window.installEventFilter(new MaximiseFilter(&window));
}

void pressOnEnter(QWidget& window, QPushButton& button) {
    window.installEventFilter(new EnterFilter(window, button));
}

void tell(const QString& text, const QString& title, seams::Icon icon) {
    QPointer<QWidget> active = QApplication::activeWindow();
    seams::messageBox(text, title, icon);
    if (active && active->isVisible()) {
        active->activateWindow();
    }
}

bool writeAll(std::initializer_list<Write> writes) {
    QList<rwini::Entry> entries;
    for (const Write& w : writes) {
        entries.append({w.section, w.key, w.value});
    }
    return told(rwini::WriteIniValues(entries));
}

bool told(rwini::Saved saved) {
    if (!saved) {
        tell(QStringLiteral("无法写入配置文件 SysInfo.ini,修改未保存!\n") +
                 rwini::reason(saved.failure),
             QStringLiteral("错误："), seams::Icon::Critical);
    }
    return bool(saved);
}

} // namespace tideedit
