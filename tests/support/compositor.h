// A headless Wayland compositor of the test's own, for tests of the real
// panel: sway (which offers layer-shell) or Weston with XWayland (which does
// not). Compositor and programs run as the unprivileged user "nobody" when
// the test runs as root, as sway refuses to run as root.
#pragma once

#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace desk {

class Compositor {
public:
    enum class Kind { Sway, Weston };
    static constexpr int width = 1024;
    static constexpr int height = 768;

    explicit Compositor(Kind kind);
    ~Compositor();
    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;

    bool ready() const { return ready_; }
    // The X display of Weston's XWayland.
    QString xDisplay() const { return xDisplay_; }
    // Runs a helper (swaymsg, grim, xdotool) as the compositor's user; its output.
    QString run(const QString& program, const QStringList& args) const;
    // What the output shows (the named one, sway only).
    QImage grab(const QString& output = QString()) const;
    // Starts a program as the compositor's user, with more environment ("NAME=value");
    // `folder` becomes the user's.
    std::unique_ptr<QProcess> start(const QString& program, const QString& folder,
                                    const QStringList& environment = {}) const;

private:
    void launch(QProcess& process, const QString& program, const QStringList& args,
                const QStringList& environment = {}) const;

    Kind kind_;
    bool ready_ = false;
    QTemporaryDir home_;
    QString runtime_, display_, xDisplay_;
    std::unique_ptr<QProcess> server_;
};

} // namespace desk
