// What the editor's window tests share: a fresh folder, recorded seams, and
// typing as a user does.
#pragma once

#include "support.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace editor_testing {

class EditorTest : public ::testing::Test {
protected:
    testing_support::AppFolder app;
    testing_support::Recorder seen;

    // The settings file cannot be written: a folder stands in its place,
    // which no user, root included, can write as a file.
    void makeFileUnwritable() {
        ASSERT_TRUE(QDir(app.path()).mkdir(QStringLiteral("SysInfo.ini")));
    }

    void expectOnlyBox(const QString& text, const QString& title,
                       seams::Icon icon = seams::Icon::None) {
        ASSERT_EQ(seen.boxes.size(), 1u);
        EXPECT_EQ(seen.boxes[0].text, text);
        EXPECT_EQ(seen.boxes[0].title, title);
        EXPECT_EQ(seen.boxes[0].icon, icon);
    }

    // The box of a failed save, whose second line says why.
    void expectWriteFailure(
        const QString& reason = QStringLiteral("原因：SysInfo.ini 不是普通文件，或大于 1 MB。")) {
        expectOnlyBox(QStringLiteral("无法写入配置文件 SysInfo.ini,修改未保存!\n") + reason,
                      QStringLiteral("错误："), seams::Icon::Critical);
    }
};

// Types any text, Chinese included, as key presses that carry it.
inline void type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

// Whether a label shows its text as the characters themselves, not as markup.
inline bool showsAsTyped(const QLabel& label) {
    return label.sizeHint().width() >= label.fontMetrics().horizontalAdvance(label.text());
}

// Shows a window and waits until it has the keyboard.
inline bool showActive(QWidget& window) {
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

} // namespace editor_testing

// Failures show texts as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
