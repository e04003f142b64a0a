#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <unistd.h>

namespace {

const QString kAppId = QStringLiteral("org.vornex.VornexIDE");
const QString kProgramDir = QStringLiteral("lib/vornex-ide");
const QString kDesktopEntry = QStringLiteral("share/applications/org.vornex.VornexIDE.desktop");
const QString kMetainfo = QStringLiteral("share/metainfo/org.vornex.VornexIDE.metainfo.xml");

struct Run
{
    int exitCode = -1;
    QString output;
};

Run run(const QString &program, const QStringList &arguments,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted() || !process.waitForFinished(120000))
        return {-1, program + QStringLiteral(": ") + process.errorString()};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAll())};
}

// Installs the build into prefix, below destdir when one is given.
bool install(const QString &prefix, const QString &destdir = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!destdir.isEmpty())
        environment.insert(QStringLiteral("DESTDIR"), destdir);
    const Run result = run(QStringLiteral(VORNEX_CMAKE),
                           {QStringLiteral("--install"), QStringLiteral(VORNEX_BUILD_DIR),
                            QStringLiteral("--prefix"), prefix},
                           environment);
    if (result.exitCode != 0)
        qWarning().noquote() << result.output;
    return result.exitCode == 0;
}

// The arguments of a desktop entry's Exec value: the value's own escapes first, then the
// quoting of arguments, then the field codes. Returns no arguments for a malformed value.
QStringList execArguments(const QString &value)
{
    QString unescaped;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            unescaped += value[i];
            continue;
        }
        const QChar next = value[++i];
        const QHash<QChar, QChar> escapes = {
            {u's', u' '}, {u'n', u'\n'}, {u't', u'\t'}, {u'r', u'\r'}, {u'\\', u'\\'}};
        if (!escapes.contains(next))
            return {};
        unescaped += escapes.value(next);
    }

    const QString reserved = QStringLiteral("\t\n\"'\\><~|&;$*?#()`");
    const QString quotedEscapes = QStringLiteral("\"`$\\");
    QStringList arguments;
    QString current;
    bool inArgument = false;
    for (qsizetype i = 0; i < unescaped.size(); ++i) {
        const QChar c = unescaped[i];
        if (c == u' ') {
            if (inArgument)
                arguments << current;
            current.clear();
            inArgument = false;
        } else if (c == u'"') {
            inArgument = true;
            for (++i; i < unescaped.size() && unescaped[i] != u'"'; ++i) {
                if (unescaped[i] == u'\\') {
                    if (i + 1 == unescaped.size() || !quotedEscapes.contains(unescaped[i + 1]))
                        return {};
                    ++i;
                } else if (unescaped[i] == u'`' || unescaped[i] == u'$') {
                    return {};
                }
                current += unescaped[i];
            }
            if (i == unescaped.size())
                return {};
        } else if (reserved.contains(c)) {
            return {};
        } else {
            inArgument = true;
            current += c;
        }
    }
    if (inArgument)
        arguments << current;

    for (QString &argument : arguments) {
        QString plain;
        for (qsizetype i = 0; i < argument.size(); ++i) {
            if (argument[i] != u'%') {
                plain += argument[i];
            } else if (i + 1 < argument.size() && argument[i + 1] == u'%') {
                plain += u'%';
                ++i;
            } else {
                return {}; // a field code: the entry would take file arguments
            }
        }
        argument = plain;
    }
    return arguments;
}

QString desktopValue(const QString &path, const QString &key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QString prefix = key + u'=';
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    }
    return {};
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString m_prefix;

    QString installed(const QString &relative) const { return m_prefix + u'/' + relative; }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        // A blank in the prefix, as in a home folder with one.
        m_prefix = m_root.filePath(QStringLiteral("my prefix"));
        QVERIFY(install(m_prefix));
    }

    void layout_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("executable");
        QTest::newRow("ide") << kProgramDir + u"/vornex-ide"_qs << true;
        QTest::newRow("assembler-beside-the-ide") << kProgramDir + u"/cvornex.exe"_qs << true;
        if (!QStringLiteral(VORNEX_VIEWER_MODULE).isEmpty()) {
            QTest::newRow("viewer-module-beside-the-ide")
                << kProgramDir + u'/' + QStringLiteral(VORNEX_VIEWER_MODULE) << false;
        }
        QTest::newRow("desktop-entry") << kDesktopEntry << false;
        QTest::newRow("metainfo") << kMetainfo << false;
        QTest::newRow("icon-32") << u"share/icons/hicolor/32x32/apps/"_qs + kAppId + u".png"_qs
                                 << false;
        QTest::newRow("icon-scalable")
            << u"share/icons/hicolor/scalable/apps/"_qs + kAppId + u".svg"_qs << false;
    }

    void layout()
    {
        QFETCH(QString, path);
        QFETCH(bool, executable);
        const QFileInfo info(installed(path));
        QVERIFY2(info.isFile() && !info.isSymLink(), qPrintable(info.filePath()));
        QCOMPARE(info.isExecutable(), executable);
    }

    void binLinkIsRelativeAndSurvivesAMove()
    {
        const QFileInfo link(installed(QStringLiteral("bin/vornex-ide")));
        QVERIFY(link.isSymLink());
        char target[4096] = {};
        QVERIFY(::readlink(QFile::encodeName(link.filePath()).constData(), target,
                           sizeof target - 1) > 0);
        QVERIFY2(QDir::isRelativePath(QFile::decodeName(target)), target);
        QCOMPARE(QFileInfo(link.filePath()).canonicalFilePath(),
                 QFileInfo(installed(kProgramDir + u"/vornex-ide"_qs)).canonicalFilePath());

        QTemporaryDir moved;
        QVERIFY(moved.isValid());
        const QString elsewhere = moved.filePath(QStringLiteral("moved"));
        QVERIFY(install(m_root.filePath(QStringLiteral("to-move"))));
        QVERIFY(QDir().rename(m_root.filePath(QStringLiteral("to-move")), elsewhere));
        const QFileInfo movedLink(elsewhere + u"/bin/vornex-ide"_qs);
        QCOMPARE(movedLink.canonicalFilePath(),
                 QFileInfo(elsewhere + u'/' + kProgramDir + u"/vornex-ide"_qs).canonicalFilePath());
        QVERIFY(movedLink.isExecutable());
    }

    void desktopEntryIsValid()
    {
        const Run result =
            run(QStringLiteral(VORNEX_DESKTOP_FILE_VALIDATE), {installed(kDesktopEntry)});
        QVERIFY2(result.exitCode == 0 && result.output.trimmed().isEmpty(),
                 qPrintable(result.output));
    }

    void metainfoIsValidAndNamesTheDesktopEntry()
    {
        const Run result =
            run(QStringLiteral(VORNEX_APPSTREAMCLI),
                {QStringLiteral("validate"), QStringLiteral("--no-net"), installed(kMetainfo)});
        QVERIFY2(result.exitCode == 0, qPrintable(result.output));

        QFile file(installed(kMetainfo));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QString id, launchable;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"id")
                id = xml.readElementText();
            else if (xml.name() == u"launchable")
                launchable = xml.readElementText();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(id, kAppId);
        QCOMPARE(launchable, kAppId + u".desktop"_qs);
        QVERIFY(QFileInfo::exists(installed(u"share/applications/"_qs + launchable)));
    }

    void iconsAreTheApplicationIcon()
    {
        QImageReader png(installed(u"share/icons/hicolor/32x32/apps/"_qs + kAppId + u".png"_qs));
        const QImage image = png.read();
        QVERIFY2(!image.isNull(), qPrintable(png.errorString()));
        QCOMPARE(image.size(), QSize(32, 32));
        QVERIFY(image.colorCount() > 0 && image.colorCount() <= 16);
        QCOMPARE(desktopValue(installed(kDesktopEntry), QStringLiteral("Icon")), kAppId);

        QFile svg(installed(u"share/icons/hicolor/scalable/apps/"_qs + kAppId + u".svg"_qs));
        QVERIFY(svg.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&svg);
        QVERIFY(xml.readNextStartElement());
        QCOMPARE(xml.name().toString(), u"svg"_qs);
        QCOMPARE(xml.attributes().value(QStringLiteral("viewBox")).toString(), u"0 0 32 32"_qs);
        while (!xml.atEnd())
            xml.readNext();
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    }

    // The entry starts the link in bin/ of the prefix it was installed to, with no file argument,
    // whatever characters the prefix holds.
    void desktopEntryStartsTheInstalledIde_data()
    {
        QTest::addColumn<QString>("prefixName");
        QTest::addColumn<bool>("staged");
        QTest::newRow("plain") << u"plain"_qs << false;
        QTest::newRow("blanks") << u"two  blanks"_qs << false;
        QTest::newRow("quote-dollar-backtick-percent") << u"a\"b$c`d%e'f"_qs << false;
        QTest::newRow("hash-semicolon-ampersand") << u"x#y;z&w"_qs << false;
        QTest::newRow("staged-with-destdir") << u"usr"_qs << true;
    }

    void desktopEntryStartsTheInstalledIde()
    {
        QFETCH(QString, prefixName);
        QFETCH(bool, staged);
        const QString prefix = staged ? u'/' + prefixName : m_root.filePath(prefixName);
        const QString stage = staged ? m_root.filePath(QStringLiteral("stage")) : QString();
        QVERIFY(install(prefix, stage));

        const QString entry = stage + prefix + u'/' + kDesktopEntry;
        const Run validate = run(QStringLiteral(VORNEX_DESKTOP_FILE_VALIDATE), {entry});
        QVERIFY2(validate.exitCode == 0 && validate.output.trimmed().isEmpty(),
                 qPrintable(validate.output));
        const QString exec = desktopValue(entry, QStringLiteral("Exec"));
        const QStringList arguments = execArguments(exec);
        QCOMPARE(arguments, QStringList{prefix + u"/bin/vornex-ide"_qs});
        QCOMPARE(
            QFileInfo(stage + arguments[0]).canonicalFilePath(),
            QFileInfo(stage + prefix + u'/' + kProgramDir + u"/vornex-ide"_qs).canonicalFilePath());
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
