#include "accessibilitybus.h"
#include "form1.h"

#include <QApplication>

#include <unistd.h>

int main(int argc, char *argv[])
{
    // The browser engine's sandbox cannot run as root.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    vornex::followAccessibilityBus();
    vornex::Form1 window(vornex::makeDesktopPlatform());
    window.show();
    return app.exec();
}
