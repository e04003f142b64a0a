#include "about/form3.h"
#include "editor/form1.h"
#include "platform/htmlviewer.h"
#include "platform/twips.h"

#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <vector>

using namespace vornex;

namespace {

// Everything the fake viewers were asked to do, kept beyond the life of the viewers.
struct ViewerLog
{
    struct Navigation
    {
        int viewer;
        QUrl address;
    };
    std::vector<Navigation> navigations;
    std::vector<ViewerKind> kinds;
    int alive = 0;
};

// Like the real viewer, the viewer is its own widget and goes with the window that holds it.
class FakeViewer final : public QWidget, public HtmlViewer
{
public:
    FakeViewer(QWidget *parent, ViewerLog &log, int id) : QWidget(parent), m_log(log), m_id(id)
    {
        ++m_log.alive;
    }
    ~FakeViewer() override { --m_log.alive; }
    QWidget *widget() override { return this; }
    void navigate(const QUrl &address) override { m_log.navigations.push_back({m_id, address}); }

private:
    ViewerLog &m_log;
    int m_id;
};

class FakeViewerFactory final : public HtmlViewerFactory
{
public:
    explicit FakeViewerFactory(ViewerLog &log) : m_log(log) {}
    HtmlViewer *create(QWidget *parent, ViewerKind kind) override
    {
        m_log.kinds.push_back(kind);
        return new FakeViewer(parent, m_log, static_cast<int>(m_log.kinds.size()));
    }

private:
    ViewerLog &m_log;
};

class CountingMessageBox final : public MessageBox
{
public:
    explicit CountingMessageBox(int &count) : m_count(count) {}
    void warning(QWidget *, const QString &, const QString &) override { ++m_count; }

private:
    int &m_count;
};

const QUrl kMakerPage(QStringLiteral(VORNEX_ABOUT_URL));

QRect designViewerGeometry(const QWidget *window)
{
    const double dpi = logicalDpi(window);
    return QRect(twipsToPixels(120, dpi), twipsToPixels(120, dpi), twipsToPixels(9975, dpi),
                 twipsToPixels(7095, dpi));
}

QSize designClientSize(const QWidget *window)
{
    const double dpi = logicalDpi(window);
    return QSize(twipsToPixels(10200, dpi), twipsToPixels(7335, dpi));
}

// Runs the deletions that closing a window leaves queued.
void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT

private:
    // A main window on fake viewers, and a message box that only counts.
    struct Ide
    {
        ViewerLog log;
        int messages = 0;
        std::unique_ptr<Form1> window;

        explicit Ide(std::unique_ptr<HtmlViewerFactory> viewers = {})
        {
            Platform platform;
            platform.appDir = QStringLiteral("/nonexistent");
            platform.messages = std::make_unique<CountingMessageBox>(messages);
            platform.viewers =
                viewers ? std::move(viewers) : std::make_unique<FakeViewerFactory>(log);
            platform.endProcess = [](int) {
                QFAIL("the About window ended the process");
            };
            window = std::make_unique<Form1>(std::move(platform));
            window->show();
        }
    };

    static void checkFreshWindow(Form3 *about)
    {
        QVERIFY(about);
        QVERIFY(about->isVisible());
        QVERIFY(about->isWindow());
        QCOMPARE(about->windowTitle(), QStringLiteral("About"));
        QCOMPARE(about->size(), designClientSize(about));
        QCOMPARE(about->WebBrowser1->widget()->geometry(), designViewerGeometry(about));
        QCOMPARE(about->WebBrowser1->widget()->parentWidget(), about);
        // No owner: the main window can come in front of it, and it has its own taskbar button.
        QVERIFY(!about->parentWidget());
        QVERIFY(!about->windowHandle()->transientParent());
        QVERIFY(about->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(about->windowFlags() & Qt::WindowMaximizeButtonHint);
        QCOMPARE(about->windowType(), Qt::Window);
        QVERIFY(!about->windowIcon().isNull());
    }

private slots:
    void aboutOpensAWindowAndRequestsTheMakersPage()
    {
        Ide ide;
        QVERIFY(!ide.window->aboutWindow());
        ide.window->abt_Click();
        checkFreshWindow(ide.window->aboutWindow());
        QCOMPARE(ide.log.kinds.size(), 1u);
        QCOMPARE(ide.log.kinds[0], ViewerKind::WebPage);
        QCOMPARE(ide.log.navigations.size(), 1u);
        QCOMPARE(ide.log.navigations[0].address, kMakerPage);
        QCOMPARE(ide.messages, 0);
    }

    void makersPageIsAWebAddress()
    {
        QVERIFY2(kMakerPage.isValid(), qPrintable(kMakerPage.errorString()));
        QVERIFY(kMakerPage.scheme() == u"https" || kMakerPage.scheme() == u"http");
        QVERIFY(!kMakerPage.host().isEmpty());
    }

    void aboutTwiceKeepsOneWindowAndReloads()
    {
        Ide ide;
        ide.window->abt_Click();
        Form3 *first = ide.window->aboutWindow();
        ide.window->abt_Click();
        settle();
        QCOMPARE(ide.window->aboutWindow(), first);
        QCOMPARE(ide.log.kinds.size(), 1u);
        QCOMPARE(ide.log.alive, 1);
        QCOMPARE(ide.log.navigations.size(), 2u);
        QCOMPARE(ide.log.navigations[1].viewer, 1);
        QCOMPARE(ide.log.navigations[1].address, kMakerPage);
        QVERIFY(first->isVisible());
    }

    void aboutBringsBackAMinimizedWindow()
    {
        Ide ide;
        ide.window->abt_Click();
        Form3 *about = ide.window->aboutWindow();
        about->showMinimized();
        QVERIFY(about->isMinimized());
        ide.window->abt_Click();
        QCOMPARE(ide.window->aboutWindow(), about);
        QVERIFY(!about->isMinimized());
        QVERIFY(about->isVisible());
    }

    void closedWindowIsDiscardedAndRebuiltFresh()
    {
        Ide ide;
        ide.window->abt_Click();
        Form3 *first = ide.window->aboutWindow();
        first->resize(first->size() / 2);
        QVERIFY(first->close());
        settle();
        QVERIFY(!ide.window->aboutWindow());
        QCOMPARE(ide.log.alive, 0);

        ide.window->abt_Click();
        Form3 *second = ide.window->aboutWindow();
        checkFreshWindow(second);
        QCOMPARE(ide.log.kinds.size(), 2u);
        QCOMPARE(ide.log.alive, 1);
        QCOMPARE(ide.log.navigations.size(), 2u);
        QCOMPARE(ide.log.navigations[1].viewer, 2);
        QCOMPARE(ide.log.navigations[1].address, kMakerPage);
    }

    void mainWindowOutlivesTheAboutWindow()
    {
        Ide ide;
        ide.window->abt_Click();
        ide.window->aboutWindow()->close();
        settle();
        QVERIFY(ide.window->isVisible());
        ide.window->abt_Click();
        ide.window.reset();
        QCOMPARE(ide.log.alive, 0);
    }

    void viewerKeepsItsPlaceWhenTheWindowChanges_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<Qt::WindowState>("state");
        QTest::newRow("enlarged") << QSize(1600, 1200) << Qt::WindowNoState;
        QTest::newRow("shrunk-below-the-viewer") << QSize(120, 90) << Qt::WindowNoState;
        QTest::newRow("narrower-only") << QSize(200, 0) << Qt::WindowNoState;
        QTest::newRow("lower-only") << QSize(0, 150) << Qt::WindowNoState;
        QTest::newRow("maximized") << QSize() << Qt::WindowMaximized;
        QTest::newRow("full-screen") << QSize() << Qt::WindowFullScreen;
    }

    void viewerKeepsItsPlaceWhenTheWindowChanges()
    {
        QFETCH(QSize, size);
        QFETCH(Qt::WindowState, state);
        Ide ide;
        ide.window->abt_Click();
        Form3 *about = ide.window->aboutWindow();
        const QSize before = about->size();
        if (size.isValid()) {
            about->resize(size.width() ? size.width() : before.width(),
                          size.height() ? size.height() : before.height());
            QVERIFY(about->size() != before);
        } else {
            about->setWindowState(state);
        }
        QCoreApplication::processEvents();
        QCOMPARE(about->WebBrowser1->widget()->geometry(), designViewerGeometry(about));
    }

    void noViewerModuleStillOpensTheWindowWithoutAMessage()
    {
        // Without the browser engine (or without a network) the viewer shows its own page; the
        // IDE says nothing and the window opens as designed.
        QTemporaryDir empty;
        QVERIFY(empty.isValid());
        Ide ide(makeModuleViewerFactory(empty.path()));
        ide.window->abt_Click();
        checkFreshWindow(ide.window->aboutWindow());
        ide.window->abt_Click();
        QCOMPARE(ide.messages, 0);
        QVERIFY(ide.window->aboutWindow()->isVisible());
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
