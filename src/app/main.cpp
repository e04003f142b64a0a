#include "accessibilitybus.h"
#include "form1.h"

#include <QApplication>

#include <csignal>

#include <unistd.h>

int main(int argc, char *argv[])
{
    // A save past the file-size limit fails with EFBIG and a message instead of ending the IDE. A
    // handler rather than SIG_IGN, which the programs the IDE starts would inherit.
    std::signal(SIGXFSZ, [](int) {});
    // The browser engine's sandbox cannot run as root.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    // On Wayland the window's identity, by which the desktop shows its icon from the menu entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.vornex.VornexIDE"));
    vornex::followAccessibilityBus();
    vornex::Form1 window(vornex::makeDesktopPlatform());
    window.show();
    return app.exec();
}
