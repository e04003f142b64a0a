#include "build/buildcommands.h"
#include "build/form2.h"
#include "editor/form1.h"
#include "fakeplatform.h"
#include "platform/sourceeditor.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <memory>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

bool viewerModuleLoaded()
{
    QFile maps(u"/proc/self/maps"_s);
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libvornex-webview.so");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Runs script in the page's own isolated world, where it runs even with page scripts off.
QVariant evaluate(QWebEnginePage *page, const QString &script)
{
    auto result = std::make_shared<std::optional<QVariant>>();
    page->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                        [result](const QVariant &value) { *result = value; });
    (void)QTest::qWaitFor([&] { return result->has_value(); }, 30000);
    return result->value_or(QVariant());
}

QString plainText(QWebEnginePage *page)
{
    auto result = std::make_shared<std::optional<QString>>();
    page->toPlainText([result](const QString &text) { *result = text; });
    (void)QTest::qWaitFor([&] { return result->has_value(); }, 30000);
    return result->value_or(QString());
}

} // namespace

// The debug output window with the real browser engine, loaded from the viewer module.
class TestWebView : public QObject
{
    Q_OBJECT

private slots:
    void ideDoesNotLinkBrowserEngine();
    void reportLoadsFromAnyFolder();
    void webPageRunsScripts();
    void assembleThenViewReport();
};

void TestWebView::ideDoesNotLinkBrowserEngine()
{
    const QString readelf = QStandardPaths::findExecutable(u"readelf"_s);
    if (readelf.isEmpty())
        QSKIP("readelf is not installed");
    QProcess process;
    process.start(readelf, {u"--dynamic"_s, QStringLiteral(VORNEX_BIN_DIR "/vornex-ide")});
    QVERIFY(process.waitForFinished(60000));
    const QByteArray dynamic = process.readAllStandardOutput();
    QVERIFY(dynamic.contains("NEEDED"));
    QVERIFY2(!dynamic.contains("WebEngine"), dynamic.constData());
}

void TestWebView::reportLoadsFromAnyFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString appDir = dir.filePath(u"dir #1 %41 x"_s);
    QVERIFY(QDir().mkpath(appDir));

    // A remote server the report tries to reach; the viewer must not let it.
    QTcpServer remote;
    QVERIFY(remote.listen(QHostAddress::LocalHost));
    const QByteArray remoteBase = "http://127.0.0.1:" + QByteArray::number(remote.serverPort());

    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(appDir + u"/dot.png"_s));
    QVERIFY(writeFile(appDir + u"/style.css"_s, "body { color: rgb(1, 2, 3); }\n"));
    QVERIFY(writeFile(appDir + u"/debugasm.html"_s,
                      "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                      "<title>Report 41</title>"
                      "<link rel=\"stylesheet\" href=\"style.css\">"
                      "<link rel=\"stylesheet\" href=\"" +
                          remoteBase +
                          "/remote.css\">"
                          "<script>document.title = 'scripted';</script>"
                          "</head><body><p>Hello from the report</p>"
                          "<img id=\"local\" src=\"dot.png\">"
                          "<img id=\"remote\" src=\"" +
                          remoteBase +
                          "/remote.png\">"
                          "</body></html>\n"));

    fake::World world;
    vornex::Platform platform = world.platform(appDir);
    platform.viewers = vornex::makeModuleViewerFactory(QStringLiteral(VORNEX_BIN_DIR));
    vornex::Form1 window(std::move(platform));
    window.SourcePath = u"/work/prog.vornex"_s;
    QVERIFY2(!viewerModuleLoaded(), "the viewer module loads only when a viewer is needed");

    window.Asmne_Click();
    QVERIFY(viewerModuleLoaded());
    vornex::Form2 *debug = window.debugOutputWindow();
    QVERIFY(debug && debug->WebBrowser1);
    auto *view = qobject_cast<QWebEngineView *>(debug->WebBrowser1->widget());
    QVERIFY2(view, "the module's viewer is a browser view");
    QVERIFY(view->page()->profile()->isOffTheRecord());
    QSignalSpy loaded(view, &QWebEngineView::loadFinished);
    QVERIFY(loaded.wait(60000) || !loaded.isEmpty());
    QCOMPARE(loaded.constFirst().constFirst().toBool(), true);

    QCOMPARE(view->url(), vornex::debugReportAddress(appDir));
    QCOMPARE(view->url().toLocalFile(), appDir + u"/debugasm.html"_s);
    QCOMPARE(view->title(), u"Report 41"_s);
    QVERIFY(plainText(view->page()).contains(u"Hello from the report"_s));
    QCOMPARE(evaluate(view->page(), u"document.getElementById('local').naturalWidth"_s).toInt(), 4);
    QCOMPARE(evaluate(view->page(), u"getComputedStyle(document.body).color"_s).toString(),
             u"rgb(1, 2, 3)"_s);
    QCOMPARE(evaluate(view->page(), u"document.getElementById('remote').naturalWidth"_s).toInt(),
             0);
    QVERIFY2(!remote.hasPendingConnections(), "the report reached a remote address");

    // View Debug Output again reloads the same window.
    QVERIFY(writeFile(appDir + u"/debugasm.html"_s,
                      "<html><head><title>Report 42</title></head><body>again</body></html>"));
    loaded.clear();
    window.Asmne_Click();
    QCOMPARE(window.debugOutputWindow(), debug);
    QVERIFY(loaded.wait(60000) || !loaded.isEmpty());
    QCOMPARE(view->title(), u"Report 42"_s);

    // A report that sends the viewer on to a remote address does not get there either.
    QVERIFY(writeFile(appDir + u"/debugasm.html"_s,
                      "<html><head><meta http-equiv=\"refresh\" content=\"0; url=" + remoteBase +
                          "/away\"></head><body>moving</body></html>"));
    loaded.clear();
    window.Asmne_Click();
    QVERIFY(loaded.wait(60000) || !loaded.isEmpty());
    // The refresh starts a second load, which ends at once when it is refused.
    (void)QTest::qWaitFor([&] { return loaded.size() >= 2 || remote.hasPendingConnections(); },
                          10000);
    QVERIFY2(!remote.hasPendingConnections(), "the report reached a remote address");
}

void TestWebView::webPageRunsScripts()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString page = dir.filePath(u"page.html"_s);
    QVERIFY(writeFile(page, "<html><head><title>static</title>"
                            "<script>document.title = 'scripted';</script></head></html>"));

    auto viewers = vornex::makeModuleViewerFactory(QStringLiteral(VORNEX_BIN_DIR));
    QWidget holder;
    std::unique_ptr<vornex::HtmlViewer> viewer(
        viewers->create(&holder, vornex::ViewerKind::WebPage));
    auto *view = qobject_cast<QWebEngineView *>(viewer->widget());
    QVERIFY(view);
    QVERIFY(view->page()->profile()->isOffTheRecord());
    QSignalSpy loaded(view, &QWebEngineView::loadFinished);
    holder.show();
    viewer->navigate(QUrl::fromLocalFile(page));
    QVERIFY(loaded.wait(60000));
    QCOMPARE(view->title(), u"scripted"_s);
}

void TestWebView::assembleThenViewReport()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString appDir = dir.filePath(u"my ide"_s);
    QVERIFY(QDir().mkpath(appDir));
    QVERIFY(QFile::copy(QStringLiteral(VORNEX_BIN_DIR "/cvornex.exe"), appDir + u"/cvornex.exe"_s));
    const QString report = appDir + u"/debugasm.html"_s;

    fake::World world;
    vornex::Platform platform = world.platform(appDir);
    platform.launcher = vornex::makeQtProcessLauncher();
    platform.viewers = vornex::makeModuleViewerFactory(QStringLiteral(VORNEX_BIN_DIR));
    vornex::Form1 window(std::move(platform));
    window.SourcePath = dir.filePath(u"work & play/prog <1>.vornex"_s);
    QVERIFY(QDir().mkpath(dir.filePath(u"work & play"_s)));
    window.RichTextBox1->setRawBytes("start {\r\n  \"x < y\"\r\n}\r\n");

    window.Asm_Click();
    QVERIFY(world.messages.empty());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(report), 30000);
    window.Asmne_Click();
    auto *view = qobject_cast<QWebEngineView *>(window.debugOutputWindow()->WebBrowser1->widget());
    QVERIFY(view);
    QSignalSpy loaded(view, &QWebEngineView::loadFinished);
    QVERIFY(loaded.wait(60000) || !loaded.isEmpty());
    QCOMPARE(loaded.constFirst().constFirst().toBool(), true);
    QCOMPARE(view->title(), u"Debug output: prog <1>.vornex"_s);
    const QString text = plainText(view->page());
    QVERIFY2(text.contains(window.SourcePath), qPrintable(text));
    QVERIFY2(text.contains(u"\"x < y\""_s), qPrintable(text));
    QVERIFY2(text.contains(u"start "_s), qPrintable(text));
}

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
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_webview.moc"
