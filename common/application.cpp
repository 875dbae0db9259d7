#include "application.h"

#include "seams.h"

#include <exception>

namespace tide {

Application::Application(int& argc, char** argv, const QString& name, const QString& version)
    : QApplication(argc, argv) {
    setApplicationName(name);
    setApplicationVersion(version);
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
    seams::messageBox(QStringLiteral("运行时错误：%1").arg(what), QString(), seams::Icon::Critical);
    seams::endProcess(1);
}

} // namespace tide
