#include "about/form3.h"
#include "editor/form1.h"
#include "fakes/fakeplatform.h"
#include "platform/twips.h"

#include <QTemporaryDir>
#include <QTest>

using namespace vornex;
using namespace Qt::StringLiterals;

namespace {

const QUrl kMakerPage(QStringLiteral(VORNEX_ABOUT_URL));

// Where the viewer sits in the About window, whatever the window's size.
QRect viewerPlace(const QWidget *window)
{
    const double dpi = logicalDpi(window);
    return {twipsToPixels(120, dpi), twipsToPixels(120, dpi), twipsToPixels(9975, dpi),
            twipsToPixels(7095, dpi)};
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT

    fakes::FakePlatform m_fakes;
    std::unique_ptr<Form1> m_ide;

    Form3 *about()
    {
        m_ide->abt_Click();
        return m_ide->aboutWindow();
    }

private slots:
    void init()
    {
        m_fakes = {};
        m_ide = std::make_unique<Form1>(m_fakes.make(u"/nonexistent"_s));
        m_ide->show();
    }

    void cleanup()
    {
        m_ide.reset();
        QVERIFY2(m_fakes.exits.isEmpty(), "the About window ended the process");
    }

    // A window of its own, not owned by the main window, that a second About brings back, even
    // from the taskbar, and reloads.
    void aboutTwiceKeepsOneWindow()
    {
        QVERIFY(kMakerPage.scheme().startsWith(u"http") && !kMakerPage.host().isEmpty());
        QPointer<Form3> first = about();
        QVERIFY(first && first->isVisible() && !first->parentWidget());
        first->showMinimized();
        QCOMPARE(about(), first.data());
        flushDeletes();
        QVERIFY(first && first->isVisible() && !first->isMinimized());
        QCOMPARE(m_fakes.viewers.size(), 1);
        QCOMPARE(m_fakes.navigations.size(), 2);
        QCOMPARE(m_fakes.viewers, QList<ViewerKind>{ViewerKind::WebPage});
        QCOMPARE(m_fakes.navigations, (QList<QUrl>{kMakerPage, kMakerPage}));
        QVERIFY(m_fakes.messages.isEmpty());
    }

    // A closed About window goes, with its viewer; the next About builds a fresh one.
    void closedWindowIsRebuiltFresh()
    {
        QPointer<Form3> first = about();
        QPointer<QWidget> viewer = first->WebBrowser1->widget();
        const QSize designSize = first->size();
        first->resize(designSize / 2);
        QVERIFY(first->close());
        flushDeletes();
        QVERIFY(!first && !viewer && !m_ide->aboutWindow());
        QVERIFY(m_ide->isVisible());

        Form3 *second = about();
        QVERIFY(second && second->isVisible());
        QCOMPARE(second->size(), designSize);
        QCOMPARE(second->WebBrowser1->widget()->geometry(), viewerPlace(second));
        QCOMPARE(m_fakes.viewers.size(), 2);
        QCOMPARE(m_fakes.navigations.size(), 2);
        QCOMPARE(m_fakes.navigations.last(), kMakerPage);
    }

    void viewerKeepsItsPlace_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<Qt::WindowState>("state");

        QTest::newRow("enlarged") << QSize(1600, 1200) << Qt::WindowNoState;
        QTest::newRow("shrunk below the viewer") << QSize(120, 90) << Qt::WindowNoState;
        QTest::newRow("narrower only") << QSize(200, 0) << Qt::WindowNoState;
        QTest::newRow("lower only") << QSize(0, 150) << Qt::WindowNoState;
        QTest::newRow("maximized") << QSize() << Qt::WindowMaximized;
        QTest::newRow("full screen") << QSize() << Qt::WindowFullScreen;
    }

    void viewerKeepsItsPlace()
    {
        QFETCH(QSize, size);
        QFETCH(Qt::WindowState, state);
        Form3 *window = about();
        const QSize before = window->size();
        if (size.isValid()) {
            window->resize(size.width() ? size.width() : before.width(),
                           size.height() ? size.height() : before.height());
            QVERIFY(window->size() != before);
        } else {
            window->setWindowState(state);
        }
        QCoreApplication::processEvents();
        QCOMPARE(window->WebBrowser1->widget()->geometry(), viewerPlace(window));
    }

    // Without the browser engine the viewer shows a page of its own: the IDE says nothing.
    void noViewerModule()
    {
        QTemporaryDir empty;
        Platform platform = m_fakes.make(u"/nonexistent"_s);
        platform.viewers = makeModuleViewerFactory(empty.path());
        m_ide = std::make_unique<Form1>(std::move(platform));
        QVERIFY(about()->isVisible());
        QVERIFY(about()->isVisible());
        QVERIFY(m_fakes.messages.isEmpty());
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
