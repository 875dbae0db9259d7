#include "support.h"

#include "ansi.h"
#include "inifile.h"
#include "profile.h"
#include "rwini.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

namespace testing_support {

const QString prepared = QStringLiteral(
    "[Sysinfo]\r\nTitle=示例电脑服务部\r\nService TEL=400-000-0000\r\nTechnology TEL=000-1\r\n"
    "Add=示例路 1 号\r\nClose=Start\r\n[Display]\r\nTitle=1\r\nService TEL=1\r\n"
    "Technology TEL=1\r\nAdd=1\r\nInfo=1\r\n[Config]\r\nlabel5=服务热线\r\nlabel6=技术支持\r\n"
    "label7=地址\r\n[Info]\r\nCPU=示例处理器\r\nMB=示例主板\r\nMEM=16 GB\r\nHD=512 GB\r\n"
    "Show=示例说明\r\n");

bool waitUntil(const std::function<bool()>& done, int ms, int stepMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) {
            return false;
        }
        QThread::msleep(stepMs);
    }
    return true;
}

void startAs(QProcess& process, unsigned uid, const QString& program, const QStringList& args,
             unsigned gid) {
    if (uid == 0) {
        process.start(program, args);
        return;
    }
    const QString id = QString::number(uid), group = QString::number(gid ? gid : uid);
    process.start(QStringLiteral("setpriv"),
                  QStringList{"--reuid=" + id, "--regid=" + group, QStringLiteral("--clear-groups"),
                              program} +
                      args);
}

bool canActAsOthers() {
    return ::geteuid() == 0 && !QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty();
}

QByteArray journalOf(const QString& iniPath) {
    return QFile::encodeName(inifile::journalPath(iniPath));
}

AppFolder::AppFolder() {
    rwini::setFolderForTesting(dir_.path());
}

AppFolder::~AppFolder() {
    rwini::setFolderForTesting(QString());
}

QString AppFolder::iniPath() const {
    return dir_.filePath(QStringLiteral("SysInfo.ini"));
}

QByteArray AppFolder::bytes() const {
    QFile f(iniPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool AppFolder::exists() const {
    return QFile::exists(iniPath());
}

void AppFolder::write(const QString& text) const {
    writeBytes(fileBytes(text));
}

void AppFolder::writeBytes(const QByteArray& bytes) const {
    QFile f(iniPath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        qFatal("cannot write the test's settings file");
    }
}

QString AppFolder::value(const QString& section, const QString& key) const {
    return storedValue(bytes(), section, key).value_or(QString());
}

bool AppFolder::has(const QString& section, const QString& key) const {
    return storedValue(bytes(), section, key).has_value();
}

QByteArray fileBytes(const QString& text) {
    return QByteArray::fromStdString(ansi::encode(text.toStdU16String()).value());
}

std::optional<QString> storedValue(const QByteArray& file, const QString& section,
                                   const QString& key) {
    auto s = ansi::encode(section.toStdU16String());
    auto k = ansi::encode(key.toStdU16String());
    auto v = profile::lookup<char>(std::string_view(file.constData(), size_t(file.size())), *s, *k,
                                   ansi::units());
    if (!v) {
        return std::nullopt;
    }
    return QString::fromStdU16String(ansi::decode(*v));
}

Recorder::Recorder() {
    seams::Hooks& hooks = hooks_;
    hooks.messageBox = [this](const QString& text, const QString& title, seams::Icon icon) {
        boxes.push_back({text, title, icon});
        if (whileBoxShows) {
            whileBoxShows();
        }
    };
    hooks.openUrl = [this](const QString& url) {
        urls.push_back(url);
        return browserWorks;
    };
    hooks.endProcess = [this](int status) { ends.push_back(status); };
    hooks.question = [this](const QString& text, const QString& title, seams::Icon icon) {
        questions.push_back({text, title, icon});
        return answer;
    };
    seams::setHooks(hooks);
}

void Recorder::canElevate(bool starts) {
    hooks_.restartElevated = [this, starts] {
        ++restarts;
        return starts;
    };
    seams::setHooks(hooks_);
}

Recorder::~Recorder() {
    seams::setHooks({});
}

} // namespace testing_support
