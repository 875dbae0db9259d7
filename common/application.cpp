#include "application.h"

#include "heap.h"
#include "seams.h"

#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>
#include <QWidget>

#include <exception>

namespace tide {
namespace {

bool failing = false;

// The run-time error box and what it is made of.
bool partOfTheBox(const QObject* receiver) {
    const QWidget* box = QApplication::activeModalWidget();
    for (const QObject* o = receiver; box && o; o = o->parent()) {
        if (o == box) {
            return true;
        }
    }
    return false;
}

} // namespace

Application::Application(int& argc, char** argv, const QString& name, const QString& version)
    : QApplication(argc, argv) {
    keepFileBuffers();
    setApplicationName(name);
    setApplicationVersion(version);
    if (!installQtTranslation()) {
        qWarning("%s: Qt's Chinese translation (qtbase_zh_CN.qm) is missing", qPrintable(name));
    }
    std::set_terminate([] {
        QString what = QStringLiteral("未知错误");
        if (auto current = std::current_exception()) {
            try {
                std::rethrow_exception(current);
            } catch (const std::exception& e) {
                what = QString::fromLocal8Bit(e.what());
            } catch (...) {
            }
        }
        fail(what);
        std::abort();
    });
}

bool Application::notify(QObject* receiver, QEvent* event) {
    if (failing && (event->type() == QEvent::Timer || event->type() == QEvent::Close) &&
        !partOfTheBox(receiver)) {
        event->ignore();
        return true;
    }
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        fail(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        fail(QStringLiteral("未知错误"));
    }
    return false;
}

void Application::fail(const QString& what) {
    if (failing) {
        return;
    }
    failing = true;
    seams::messageBox(QStringLiteral("运行时错误：%1").arg(what), QString(), seams::Icon::Critical);
    seams::endProcess(1);
    failing = false; // endProcess returns only in tests
}

bool Application::failed() {
    return failing;
}

bool installQtTranslation() {
    auto* qt = new QTranslator(QCoreApplication::instance());
    const QString beside =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations"));
    // windeployqt (a native build) ships Qt's texts merged as qt_zh_CN.qm.
    for (const QString& folder : {beside, QLibraryInfo::path(QLibraryInfo::TranslationsPath)}) {
        for (const char* name : {"qtbase_zh_CN", "qt_zh_CN"}) {
            if (qt->load(QLatin1String(name), folder)) {
                return QCoreApplication::installTranslator(qt);
            }
        }
    }
    delete qt;
    return false;
}

} // namespace tide
