#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kAppId = u"org.vornex.VornexIDE"_s;
const QString kProgram = u"lib/vornex-ide/vornex-ide"_s;
const QString kDesktopEntry = u"share/applications/org.vornex.VornexIDE.desktop"_s;
const QString kMetainfo = u"share/metainfo/org.vornex.VornexIDE.metainfo.xml"_s;
const QString kIcon = u"share/icons/hicolor/32x32/apps/org.vornex.VornexIDE.png"_s;

// Runs program; the exit code and what it wrote, or -1 when it did not run to its end.
std::pair<int, QString> run(const QString &program, const QStringList &arguments,
                            const QString &destdir = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!destdir.isEmpty())
        environment.insert(u"DESTDIR"_s, destdir);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return {-1, program + u": "_s + process.errorString()};
    return {process.exitCode(), QString::fromLocal8Bit(process.readAll())};
}

// Installs the build into prefix, below destdir when one is given.
bool install(const QString &prefix, const QString &destdir = {})
{
    const auto [status, output] =
        run(QStringLiteral(VORNEX_CMAKE),
            {u"--install"_s, QStringLiteral(VORNEX_BUILD_DIR), u"--prefix"_s, prefix}, destdir);
    if (status != 0)
        qWarning().noquote() << output;
    return status == 0;
}

// The value of key in the desktop entry at path.
QString desktopValue(const QString &path, const QString &key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.startsWith(key + u'='))
            return line.mid(key.size() + 1);
    }
    return {};
}

// The program an Exec value of one quoted argument starts: first the value's own escapes, then
// the quoting, then "%%". Empty for anything else, such as a field code or a bare quote.
QString execProgram(const QString &value)
{
    QString quoted, program;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && ++i < value.size())
            quoted += value[i] == u's' ? QChar(u' ') : value[i];
        else
            quoted += value[i];
    }
    if (quoted.size() < 2 || !quoted.startsWith(u'"') || !quoted.endsWith(u'"'))
        return {};
    const qsizetype end = quoted.size() - 1;
    for (qsizetype i = 1; i < end; ++i) {
        QChar c = quoted[i];
        if (c == u'\\') {
            if (i + 1 == end || !u"\"`$\\"_s.contains(quoted[i + 1]))
                return {};
            c = quoted[++i];
        } else if (u"\"`$"_s.contains(c) || (c == u'%' && (i + 1 == end || quoted[++i] != u'%'))) {
            return {};
        }
        program += c;
    }
    return program;
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_prefix;

    QString installed(const QString &relative) const { return m_prefix + u'/' + relative; }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        // A blank in the prefix, as in a home folder with one.
        m_prefix = m_root.filePath(u"my prefix"_s);
        QVERIFY(install(m_prefix));
    }

    void layout_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("executable");

        QTest::newRow("ide") << kProgram << true;
        QTest::newRow("assembler beside the ide") << u"lib/vornex-ide/cvornex.exe"_s << true;
        if (!QStringLiteral(VORNEX_VIEWER_MODULE).isEmpty())
            QTest::newRow("viewer module beside the ide")
                << u"lib/vornex-ide/"_s + QStringLiteral(VORNEX_VIEWER_MODULE) << false;
        QTest::newRow("desktop entry") << kDesktopEntry << false;
        QTest::newRow("metainfo") << kMetainfo << false;
        QTest::newRow("icon 32") << kIcon << false;
        QTest::newRow("icon scalable")
            << u"share/icons/hicolor/scalable/apps/org.vornex.VornexIDE.svg"_s << false;
    }

    void layout()
    {
        QFETCH(QString, path);
        QFETCH(bool, executable);
        const QFileInfo info(installed(path));
        QVERIFY2(info.isFile() && !info.isSymLink(), qPrintable(info.filePath()));
        QCOMPARE(info.isExecutable(), executable);
    }

    // bin/ holds a relative link to the program, so the installed tree can move.
    void binLinkIsRelative()
    {
        const QString link = installed(u"bin/vornex-ide"_s);
        char target[4096] = {};
        QVERIFY(::readlink(QFile::encodeName(link).constData(), target, sizeof target - 1) > 0);
        QVERIFY2(QDir::isRelativePath(QFile::decodeName(target)), target);
        QCOMPARE(QFileInfo(link).canonicalFilePath(),
                 QFileInfo(installed(kProgram)).canonicalFilePath());
    }

    void metainfoIsValid()
    {
        const auto [status, output] = run(QStringLiteral(VORNEX_APPSTREAMCLI),
                                          {u"validate"_s, u"--no-net"_s, installed(kMetainfo)});
        QVERIFY2(status == 0, qPrintable(output));
        QFile file(installed(kMetainfo));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray xml = file.readAll();
        QVERIFY(xml.contains("<id>org.vornex.VornexIDE</id>"));
        QVERIFY(xml.contains(">org.vornex.VornexIDE.desktop</launchable>"));
    }

    void desktopEntry_data()
    {
        QTest::addColumn<QString>("prefixName");
        QTest::addColumn<bool>("staged");

        QTest::newRow("plain") << u"plain"_s << false;
        QTest::newRow("blanks, quotes, dollar, backquote, percent, hash, semicolon, ampersand")
            << u"a  \"b$c`d%e'f#g;h&i"_s << false;
        QTest::newRow("staged with DESTDIR") << u"usr"_s << true;
    }

    // The entry is valid, names the icon and starts the link in bin/ of the prefix it was
    // installed to, with no file argument, whatever characters the prefix holds.
    void desktopEntry()
    {
        QFETCH(QString, prefixName);
        QFETCH(bool, staged);
        const QString prefix = staged ? u'/' + prefixName : m_root.filePath(prefixName);
        const QString stage = staged ? m_root.filePath(u"stage"_s) : QString();
        QVERIFY(install(prefix, stage));

        const QString entry = stage + prefix + u'/' + kDesktopEntry;
        const auto [status, output] = run(QStringLiteral(VORNEX_DESKTOP_FILE_VALIDATE), {entry});
        QVERIFY2(status == 0 && output.trimmed().isEmpty(), qPrintable(output));
        QCOMPARE(desktopValue(entry, u"Icon"_s), kAppId);
        QCOMPARE(QImage(stage + prefix + u'/' + kIcon).size(), QSize(32, 32));
        const QString program = execProgram(desktopValue(entry, u"Exec"_s));
        QCOMPARE(program, prefix + u"/bin/vornex-ide"_s);
        QCOMPARE(QFileInfo(stage + program).canonicalFilePath(),
                 QFileInfo(stage + prefix + u'/' + kProgram).canonicalFilePath());
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
