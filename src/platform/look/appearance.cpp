#include "appearance.h"

#include "twips.h"

#include <QAccessibleWidget>
#include <QFontDatabase>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vornex {

namespace {

std::vector<const char *> &windowClasses()
{
    static std::vector<const char *> names;
    return names;
}

QAccessibleInterface *windowAccessible(const QString &className, QObject *object)
{
    for (const char *name : windowClasses()) {
        if (object && className == QLatin1StringView(name))
            return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    }
    return nullptr;
}

} // namespace

QFont fixedsysFont()
{
    static const QFont font = [] {
        const QString family = QStringLiteral("Fixedsys");
        QFont f = QFontDatabase::hasFamily(family)
                      ? QFont(family)
                      : QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setPointSizeF(9.75);
        f.setWeight(QFont::Normal);
        f.setItalic(false);
        f.setUnderline(false);
        f.setStrikeOut(false);
        return f;
    }();
    return font;
}

QIcon applicationIcon()
{
    static const QIcon icon = [] {
        QIcon sizes;
        // Sizes given, the pictures are read only when a window system asks for them.
        for (const int size : {32, 48, 64, 128, 256})
            sizes.addFile(QStringLiteral(":/vornex/vornex-ide-%1.png").arg(size), {size, size});
        return sizes;
    }();
    return icon;
}

double contrastRatio(const QColor &a, const QColor &b)
{
    const auto luminance = [](const QColor &colour) {
        const auto linear = [](float channel) {
            return channel <= 0.04045f ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
        };
        const QColor rgb = colour.toRgb();
        return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) +
               0.0722 * linear(rgb.blueF());
    };
    const double first = luminance(a), second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

void bringToFront(QWidget *window)
{
    // On Wayland activateWindow asks the compositor through xdg-activation, with a token for the
    // user's last input, where the compositor offers it; it then brings the window forward or
    // marks it urgent, as its own policy says.
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

void makeFixedDialog(QWidget *window, const QString &caption, double widthTwips, double heightTwips)
{
    // A tool window has no taskbar entry; the frame offers only the close box.
    window->setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(caption);
    window->setWindowIcon(applicationIcon());
    window->setFont(fixedsysFont());
    window->setFixedSize(twipsToPixels(window, widthTwips), twipsToPixels(window, heightTwips));
}

void installAccessibleFactory(QAccessible::InterfaceFactory factory)
{
    static std::vector<QAccessible::InterfaceFactory> installed;
    if (std::find(installed.begin(), installed.end(), factory) != installed.end())
        return;
    installed.push_back(factory);
    QAccessible::installFactory(factory);
}

void presentAsWindow(const QMetaObject &windowClass)
{
    std::vector<const char *> &names = windowClasses();
    if (std::find(names.begin(), names.end(), windowClass.className()) == names.end())
        names.push_back(windowClass.className());
    installAccessibleFactory(windowAccessible);
}

} // namespace vornex
