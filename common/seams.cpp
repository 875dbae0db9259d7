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

} // namespace

void messageBox(const QString& text, const QString& title, Icon icon) {
    const QString shown = title.isEmpty() ? QCoreApplication::applicationName() : title;
    if (hooks().messageBox) {
        hooks().messageBox(text, shown, icon);
        return;
    }
    QMessageBox box(icon == Icon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon, shown,
                    text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText); // an error may quote what was stored
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

bool question(const QString& text, const QString& title, Icon icon) {
    const QString shown = title.isEmpty() ? QCoreApplication::applicationName() : title;
    if (hooks().question) {
        return hooks().question(text, shown, icon);
    }
    QMessageBox box(icon == Icon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon, shown,
                    text, QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
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
