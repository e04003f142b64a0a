#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kDesktopEntry = u"share/applications/org.vornex.VornexIDE.desktop"_s;

// Installs the build into prefix, below $DESTDIR when that is set; the exit status.
int install(const QString &prefix)
{
    return QProcess::execute(
        QStringLiteral(VORNEX_CMAKE),
        {u"--install"_s, QStringLiteral(VORNEX_BUILD_DIR), u"--prefix"_s, prefix});
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    // A blank in the prefix, as in a home folder with one.
    const QString m_prefix = m_root.filePath(u"my prefix"_s);

private slots:
    void initTestCase() { QCOMPARE(install(m_prefix), 0); }

    // What lands where, and the checker Debian has for the file, if any.
    void layout_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("executable");
        QTest::addColumn<QString>("checker");

        QTest::newRow("ide") << u"lib/vornex-ide/vornex-ide"_s << true << QString();
        QTest::newRow("assembler beside it")
            << u"lib/vornex-ide/cvornex.exe"_s << true << QString();
        QTest::newRow("viewer module beside it")
            << u"lib/vornex-ide/libvornex-webview.so"_s << false << QString();
        QTest::newRow("desktop entry") << kDesktopEntry << false << u"desktop-file-validate"_s;
        QTest::newRow("metainfo") << u"share/metainfo/org.vornex.VornexIDE.metainfo.xml"_s << false
                                  << u"appstreamcli validate --no-net"_s;
        QTest::newRow("icon") << u"share/icons/hicolor/32x32/apps/org.vornex.VornexIDE.png"_s
                              << false << QString();
        QTest::newRow("scalable icon")
            << u"share/icons/hicolor/scalable/apps/org.vornex.VornexIDE.svg"_s << false
            << QString();
    }

    void layout()
    {
        QFETCH(QString, path);
        QFETCH(bool, executable);
        QFETCH(QString, checker);
        const QFileInfo info(m_prefix + u'/' + path);
        QVERIFY2(info.isFile() && !info.isSymLink(), qPrintable(info.filePath()));
        QCOMPARE(info.isExecutable(), executable);
        const QStringList command = QProcess::splitCommand(checker);
        QVERIFY(checker.isEmpty() ||
                QProcess::execute(command[0], command.mid(1) << info.filePath()) == 0);
    }

    // The link in bin/ is relative, so the installed tree can move.
    void binLinkMovesWithTheTree()
    {
        const QString moved = m_root.filePath(u"moved"_s);
        QVERIFY(QDir().rename(m_prefix, moved));
        QCOMPARE(QFileInfo(moved + u"/bin/vornex-ide"_s).canonicalFilePath(),
                 QFileInfo(moved + u"/lib/vornex-ide/vornex-ide"_s).canonicalFilePath());
    }

    // The entry starts the link in bin/ of the prefix it was installed to (not of the stage),
    // quoted as one argument, with no file argument.
    void desktopEntry_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("destdir");
        QTest::addColumn<QString>("exec");

        // Exec="/tmp/…/a  \\"b\\$c\\`d%%e'f#g;h&i/bin/vornex-ide"
        QTest::newRow("blanks, quotes, dollar, backquote, percent, hash, semicolon, ampersand")
            << m_root.filePath(u"a  \"b$c`d%e'f#g;h&i"_s) << QString()
            << u"Exec=\""_s + m_root.path() +
                   u"/a  \\\\\"b\\\\$c\\\\`d%%e'f#g;h&i/bin/vornex-ide\""_s;
        QTest::newRow("staged with DESTDIR")
            << u"/usr"_s << m_root.filePath(u"stage"_s) << u"Exec=\"/usr/bin/vornex-ide\""_s;
    }

    void desktopEntry()
    {
        QFETCH(QString, prefix);
        QFETCH(QString, destdir);
        QFETCH(QString, exec);
        qputenv("DESTDIR", destdir.toLocal8Bit());
        QCOMPARE(install(prefix), 0);
        QFile entry(destdir + prefix + u'/' + kDesktopEntry);
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QVERIFY2(entry.readAll().split('\n').contains(exec.toUtf8()), qPrintable(exec));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
