#include "seams.h"

#include "platform_open.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

namespace seams {
namespace {

Hooks& hooks() {
    static Hooks h;
    return h;
}

QString shownTitle(const QString& title) {
    return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

// An application-modal box with these buttons; the one pressed.
int showBox(const QString& text, const QString& title, Icon icon,
            QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon == Icon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon, title,
                    text, buttons);
    if (buttons & QMessageBox::No) {
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    }
    box.setTextFormat(Qt::PlainText); // an error may quote what was stored
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec();
}

} // namespace

void messageBox(const QString& text, const QString& title, Icon icon) {
    if (hooks().messageBox) {
        hooks().messageBox(text, shownTitle(title), icon);
        return;
    }
    showBox(text, shownTitle(title), icon, QMessageBox::Ok);
}

bool question(const QString& text, const QString& title, Icon icon) {
    if (hooks().question) {
        return hooks().question(text, shownTitle(title), icon);
    }
    return showBox(text, shownTitle(title), icon, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

bool canRestartElevated() {
    return hooks().restartElevated ? true : platform::canRestartElevated();
}

bool restartElevated() {
    return hooks().restartElevated ? hooks().restartElevated() : platform::restartElevated();
}

bool openUrl(const QString& url) {
    if (hooks().openUrl) {
        return hooks().openUrl(url);
    }
    return platform::openInBrowser(url.toStdU16String());
}

void endProcess(int status) {
    if (hooks().endProcess) {
        hooks().endProcess(status);
        return;
    }
    std::fflush(nullptr);
    std::_Exit(status);
}

void setHooks(Hooks h) {
    hooks() = std::move(h);
}

} // namespace seams
