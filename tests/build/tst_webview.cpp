#include "build/buildcommands.h"
#include "build/form2.h"
#include "fakes/fakeplatform.h"

#include <QApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTcpServer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <memory>
#include <optional>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Runs script in the page's own isolated world, where it runs even with page scripts off.
QVariant evaluate(QWebEngineView *view, const QString &script)
{
    auto result = std::make_shared<std::optional<QVariant>>();
    view->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                                [result](const QVariant &value) { *result = value; });
    (void)QTest::qWaitFor([&] { return result->has_value(); }, 30000);
    return result->value_or(QVariant());
}

} // namespace

// The debug output window with the real browser engine, loaded from the viewer module.
class TestWebView : public QObject
{
    Q_OBJECT

private slots:
    // The report is shown from any folder name, with its own images, without its scripts and
    // without reaching a remote address.
    void reportFromOddFolder()
    {
        vornex::fakes::Ide ide(u"dir #1 %41 x"_s, [](vornex::Platform &platform) {
            platform.viewers = vornex::makeModuleViewerFactory(QStringLiteral(VORNEX_BIN_DIR));
        });
        const QString appDir = ide.path(u"dir #1 %41 x"_s);
        QVERIFY(QDir().mkpath(appDir));
        QTcpServer remote;
        QVERIFY(remote.listen(QHostAddress::LocalHost));
        const QByteArray remoteBase = "http://127.0.0.1:" + QByteArray::number(remote.serverPort());
        QImage image(4, 3, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(appDir + u"/dot.png"_s));
        const QString report = appDir + u"/debugasm.html"_s;
        QVERIFY(vornex::fakes::writeFile(
            report, "<html><head><title>Report 41</title>"
                    "<script>document.title = 'scripted';</script></head>"
                    "<body><img id=\"local\" src=\"dot.png\"><img id=\"remote\" src=\"" +
                        remoteBase + "/remote.png\"></body></html>\n"));
        ide.window.SourcePath = u"/work/prog.vornex"_s;
        ide.window.Asmne_Click();
        auto *view =
            qobject_cast<QWebEngineView *>(ide.window.debugOutputWindow()->WebBrowser1->widget());
        QVERIFY2(view, "the module's viewer is a browser view");
        QVERIFY(view->page()->profile()->isOffTheRecord());
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        QVERIFY(loaded.wait(60000) || !loaded.isEmpty());
        QVERIFY(loaded.constFirst().constFirst().toBool());
        QCOMPARE(view->url().toLocalFile(), report);
        QCOMPARE(view->title(), u"Report 41"_s);
        QCOMPARE(evaluate(view, u"document.getElementById('local').naturalWidth"_s).toInt(), 4);
        QCOMPARE(evaluate(view, u"document.getElementById('remote').naturalWidth"_s).toInt(), 0);
        QVERIFY2(!remote.hasPendingConnections(), "the report reached a remote address");
    }
};

#if defined(__SANITIZE_ADDRESS__)
// The browser engine's own library frees some of its objects with a sized delete of another
// size; that check would stop every test here before it reaches this program's code.
extern "C" const char *__asan_default_options()
{
    return "new_delete_type_mismatch=0";
}
#endif

int main(int argc, char *argv[])
{
    // The browser engine needs shared GL contexts before the application object exists, and
    // cannot use its sandbox as root or the GPU offscreen.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox");
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    TestWebView test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_webview.moc"
