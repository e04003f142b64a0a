#include "form1.h"

#include "appearance.h"
#include "buildcommands.h"
#include "form2.h"
#include "form4.h"
#include "twips.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

namespace vornex {

namespace {

const QString kNoReportText =
    QStringLiteral("Please create a debug output file, by assembling a source module");
const QString kNoReportTitle = QStringLiteral("Vor Nex IDE");
const QString kNoInterpreterText =
    QStringLiteral("Please Fill out the Paramters for calling your the interpreator");

// Places the debug output window by its own outer width and the main window's outer top, on the
// screens as they are now.
void placeDebugOutput(QWidget *window, const QWidget *main)
{
    QList<QRect> areas;
    for (const QScreen *screen : QGuiApplication::screens())
        areas.append(screen->availableGeometry());
    window->move(debugWindowPosition(window->frameGeometry().size(), main->frameGeometry().top(),
                                     logicalDpi(window), areas));
}

} // namespace

void Form1::Asm_Click()
{
    if (!Saves_Click())
        return;
    // Built after the save, from the path as it stands then.
    start(assembleCommand(m_platform.appDir, SourcePath));
}

void Form1::start(const LaunchCommand &command)
{
    QString reason;
    if (!m_platform.launcher->startDetached(command.program, command.arguments, &reason))
        reportFailure(QStringLiteral("Cannot start \"%1\"").arg(command.program), reason);
}

void Form1::Asmne_Click()
{
    if (lastSeparatorBeforeFirstDot(SourcePath) == 0) {
        m_platform.messages->warning(this, kNoReportTitle, kNoReportText);
        return;
    }
    if (!m_form2) {
        m_form2 = new Form2(*m_platform.viewers);
        // Placed again by its outer width once the window manager has framed it; until the
        // window was first shown its outer width is its inner one.
        connect(m_form2, &Form2::outerSizeChanged, this,
                [this] { placeDebugOutput(m_form2, this); });
    }
    Form2 *window = m_form2;
    placeDebugOutput(window, this);
    // The load starts when this handler returns either way; asked for before the window is shown,
    // the viewer is in place when the window first appears, which then keeps the focus.
    window->navigate(debugReportAddress(m_platform.appDir));
    bringToFront(window);
}

Form4 *Form1::form4()
{
    if (!m_form4)
        m_form4 = new Form4();
    return m_form4;
}

void Form1::SetupECop_Click()
{
    bringToFront(form4());
}

void Form1::EAE_Click()
{
    const QString path = form4()->exePath();
    const QString parameters = form4()->parameters();
    if (path.isEmpty() || parameters.isEmpty()) {
        m_platform.messages->warning(this, applicationTitle(), kNoInterpreterText);
        SetupECop_Click();
        return;
    }
    start(executeCommand(path, parameters));
}

} // namespace vornex
