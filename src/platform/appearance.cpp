#include "appearance.h"

#include <QFontDatabase>

namespace vornex {

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
    static const QIcon icon(QStringLiteral(":/vornex/vornex-ide.png"));
    return icon;
}

} // namespace vornex
