// The File menu's New, Open, Save and Save As, driven through a scripted file dialog against a
// real main window: what reaches the disk, SourcePath, the caption, and what a failure leaves.

#include "editor/form1.h"
#include "fakes/fakeplatform.h"
#include "outline/scanblocks.h"
#include "platform/sourceeditor.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <optional>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vornex;
using namespace Qt::StringLiterals;

namespace {

const QString kPreset = u"*.vornex"_s;

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

// Every entry below dir, hidden ones included, with its size: a leftover temporary file or a
// changed file shows up as a difference.
QStringList snapshot(const QString &dir)
{
    QStringList entries;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        entries.append(info.filePath() + u' ' + QString::number(info.size()));
    }
    entries.sort();
    return entries;
}

mode_t modeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Sets a soft file-size limit for the test process, with SIGXFSZ ignored so that a write past
// it fails with EFBIG instead of ending the process; restores both when it goes.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    struct rlimit m_old;
    void (*m_oldHandler)(int);
};

// A source of about 10 MiB: lines of code with blocks, every kind of line break, bytes that are
// not UTF-8 and a NUL now and then.
QByteArray largeSource()
{
    QByteArray bytes;
    bytes.reserve(10 * 1024 * 1024 + 100);
    for (int i = 0; bytes.size() < 10 * 1024 * 1024; ++i) {
        bytes += "block";
        bytes += QByteArray::number(i);
        bytes += " {\r\n  mov r1, r2 ; \xe9\xff\r\n  db 0";
        bytes += char(i % 7 == 0 ? '\0' : 'x');
        bytes += "\n}\r";
    }
    return bytes;
}

} // namespace

Q_DECLARE_METATYPE(mode_t)

class TestFileCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sequences_data();
    void sequences();
    void openFillsTheBlockList();
    void captionShowsThePathAsItIs_data();
    void captionShowsThePathAsItIs();
    void desktopDialog_data();
    void desktopDialog();

    void roundTrip_data();
    void roundTrip();
    void typing_data();
    void typing();

    void symlinks_data();
    void symlinks();
    void permissions_data();
    void permissions();
    void ownerAndGroupKept();

    void saveFailures_data();
    void saveFailures();
    void openFailures_data();
    void openFailures();

private:
    QString path(const QString &name) const { return m_dir->path() + u'/' + name; }
    QString untitled() const { return path(u"Untitled.vornex"_s); }
    // The caption as the window system shows it.
    QString caption() const { return m_form->windowHandle()->title(); }
    QStringList blockEntries() const;
    void open(const QString &file);
    bool saveAs(const QString &file);

    std::unique_ptr<QTemporaryDir> m_dir;
    fakes::FakePlatform m_fakes;
    std::unique_ptr<Form1> m_form;
};

void TestFileCommands::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_fakes = {};
    m_form = std::make_unique<Form1>(m_fakes.make(m_dir->path()));
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestFileCommands::cleanup()
{
    m_form.reset();
    m_dir.reset();
}

QStringList TestFileCommands::blockEntries() const
{
    QStringList entries;
    for (int i = 0; i < m_form->Combo1->count(); ++i)
        entries.append(m_form->Combo1->itemText(i));
    return entries;
}

void TestFileCommands::open(const QString &file)
{
    m_fakes.dialog->answers.enqueue(file);
    m_form->LoadS_Click();
}

bool TestFileCommands::saveAs(const QString &file)
{
    m_fakes.dialog->answers.enqueue(file);
    m_form->SaveAss_Click();
    return m_fakes.messages->shown.isEmpty() && m_form->SourcePath == file;
}

// ---------------------------------------------------------------------------------------------
// Command sequences

// Steps: "type TEXT" at the caret, "undo" (Ctrl+Z), "new", "save", "open NAME", "saveas NAME",
// "open cancel", "saveas cancel" (the dialog closed with its preset). Names are relative to AppDir;
// "{dir}" in the expected path and caption stands for AppDir.
using FileMap = QMap<QString, QByteArray>;

void TestFileCommands::sequences_data()
{
    QTest::addColumn<FileMap>("before");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("expectedPath");
    QTest::addColumn<QString>("expectedCaption");
    QTest::addColumn<FileMap>("after");
    QTest::addColumn<QStringList>("absent");

    const FileMap a{{u"a.vornex"_s, "one {\r\n}\r\n"}};

    QTest::newRow("cancelled open changes nothing")
        << a << QStringList{u"type typed"_s, u"open cancel"_s} << u"{dir}/Untitled.vornex"_s
        << u"VORNEX IDE - {dir}/Untitled.vornex"_s << a << QStringList{u"Untitled.vornex"_s};
    QTest::newRow("cancelled save as changes nothing")
        << a << QStringList{u"open a.vornex"_s, u"type typed"_s, u"saveas cancel"_s}
        << u"{dir}/a.vornex"_s << u"KELD IDE - {dir}/a.vornex"_s << a
        << QStringList{u"Untitled.vornex"_s};
    QTest::newRow("new then save writes an empty untitled file")
        << FileMap{} << QStringList{u"type text"_s, u"new"_s, u"save"_s}
        << u"{dir}/Untitled.vornex"_s << u"VORNEX IDE - {dir}/Untitled.vornex"_s
        << FileMap{{u"Untitled.vornex"_s, ""}} << QStringList{};
    QTest::newRow("new then save replaces an untitled file")
        << FileMap{{u"Untitled.vornex"_s, "old text\r\n"}}
        << QStringList{u"type text"_s, u"new"_s, u"save"_s} << u"{dir}/Untitled.vornex"_s
        << u"VORNEX IDE - {dir}/Untitled.vornex"_s << FileMap{{u"Untitled.vornex"_s, ""}}
        << QStringList{};
    QTest::newRow("new keeps the caption of the file before")
        << a << QStringList{u"open a.vornex"_s, u"new"_s} << u"{dir}/Untitled.vornex"_s
        << u"KELD IDE - {dir}/a.vornex"_s << a << QStringList{u"Untitled.vornex"_s};
    QTest::newRow("save at start writes the untitled file")
        << FileMap{} << QStringList{u"type abc"_s, u"save"_s} << u"{dir}/Untitled.vornex"_s
        << u"VORNEX IDE - {dir}/Untitled.vornex"_s << FileMap{{u"Untitled.vornex"_s, "abc"}}
        << QStringList{};
    QTest::newRow("save after open writes back to the opened file")
        << a << QStringList{u"open a.vornex"_s, u"type X"_s, u"save"_s} << u"{dir}/a.vornex"_s
        << u"KELD IDE - {dir}/a.vornex"_s << FileMap{{u"a.vornex"_s, "Xone {\r\n}\r\n"}}
        << QStringList{u"Untitled.vornex"_s};
    QTest::newRow("save after save as writes to the new name")
        << a << QStringList{u"open a.vornex"_s, u"saveas b.vornex"_s, u"type X"_s, u"save"_s}
        << u"{dir}/b.vornex"_s << u"KELD IDE - {dir}/b.vornex"_s
        << FileMap{{u"a.vornex"_s, "one {\r\n}\r\n"}, {u"b.vornex"_s, "Xone {\r\n}\r\n"}}
        << QStringList{u"Untitled.vornex"_s};
    QTest::newRow("save as replaces an existing file")
        << FileMap{{u"a.vornex"_s, "one"}, {u"b.vornex"_s, "a much longer old text"}}
        << QStringList{u"open a.vornex"_s, u"saveas b.vornex"_s} << u"{dir}/b.vornex"_s
        << u"KELD IDE - {dir}/b.vornex"_s << FileMap{{u"a.vornex"_s, "one"}, {u"b.vornex"_s, "one"}}
        << QStringList{};
    QTest::newRow("a name without extension is used as is")
        << FileMap{} << QStringList{u"type x"_s, u"saveas program"_s} << u"{dir}/program"_s
        << u"KELD IDE - {dir}/program"_s << FileMap{{u"program"_s, "x"}}
        << QStringList{u"program.vornex"_s};
    const QString longest(255, u'n');
    QTest::newRow("a name of 255 bytes")
        << FileMap{} << QStringList{u"type x"_s, u"saveas "_s + longest, u"type y"_s, u"save"_s}
        << u"{dir}/"_s + longest << u"KELD IDE - {dir}/"_s + longest << FileMap{{longest, "xy"}}
        << QStringList{};
    const QString longestUtf8 = QString(127, u'\u00e4') + u'x';
    QTest::newRow("a name of 255 UTF-8 bytes replaced")
        << FileMap{{longestUtf8, "old"}} << QStringList{u"type x"_s, u"saveas "_s + longestUtf8}
        << u"{dir}/"_s + longestUtf8 << u"KELD IDE - {dir}/"_s + longestUtf8
        << FileMap{{longestUtf8, "x"}} << QStringList{};
    QTest::newRow("open of a file with another extension")
        << FileMap{{u"notes.txt"_s, "plain"}} << QStringList{u"open notes.txt"_s, u"save"_s}
        << u"{dir}/notes.txt"_s << u"KELD IDE - {dir}/notes.txt"_s
        << FileMap{{u"notes.txt"_s, "plain"}} << QStringList{u"notes.txt.vornex"_s};
    QTest::newRow("open replaces the whole text")
        << a << QStringList{u"type some text that goes"_s, u"open a.vornex"_s, u"save"_s}
        << u"{dir}/a.vornex"_s << u"KELD IDE - {dir}/a.vornex"_s << a << QStringList{};
    QTest::newRow("undo after open does not bring back the text before")
        << a << QStringList{u"type typed"_s, u"open a.vornex"_s, u"undo"_s, u"undo"_s, u"save"_s}
        << u"{dir}/a.vornex"_s << u"KELD IDE - {dir}/a.vornex"_s << a << QStringList{};
    QTest::newRow("undo after typing into an opened file")
        << a << QStringList{u"open a.vornex"_s, u"type X"_s, u"undo"_s, u"save"_s}
        << u"{dir}/a.vornex"_s << u"KELD IDE - {dir}/a.vornex"_s << a << QStringList{};
    QTest::newRow("cancel after a choice does not reuse it")
        << a << QStringList{u"open a.vornex"_s, u"open cancel"_s, u"saveas cancel"_s}
        << u"{dir}/a.vornex"_s << u"KELD IDE - {dir}/a.vornex"_s << a << QStringList{};
}

void TestFileCommands::sequences()
{
    QFETCH(FileMap, before);
    QFETCH(QStringList, steps);
    QFETCH(QString, expectedPath);
    QFETCH(QString, expectedCaption);
    QFETCH(FileMap, after);
    QFETCH(QStringList, absent);

    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QVERIFY(writeBytes(path(it.key()), it.value()));

    int dialogUses = 0;
    for (const QString &step : steps) {
        const QString verb = step.section(u' ', 0, 0);
        const QString arg = step.section(u' ', 1);
        if (verb == u"type") {
            QTest::keyClicks(m_form->RichTextBox1, arg);
        } else if (verb == u"undo") {
            QTest::keyClick(m_form->RichTextBox1, Qt::Key_Z, Qt::ControlModifier);
        } else if (verb == u"new") {
            m_form->CNSF_Click();
        } else if (verb == u"save") {
            QVERIFY(m_form->Saves_Click());
        } else if (verb == u"open" || verb == u"saveas") {
            const QByteArray textBefore = m_form->RichTextBox1->rawBytes();
            const QString pathBefore = m_form->SourcePath;
            const QString captionBefore = caption();
            // A cancelled dialog hands back its preset, and so does one answering the preset.
            m_fakes.dialog->answers.enqueue(arg == u"cancel" ? kPreset : path(arg));
            if (verb == u"open")
                m_form->LoadS_Click();
            else
                m_form->SaveAss_Click();
            ++dialogUses;
            if (arg == u"cancel") {
                QCOMPARE(m_form->RichTextBox1->rawBytes(), textBefore);
                QCOMPARE(m_form->SourcePath, pathBefore);
                QCOMPARE(caption(), captionBefore);
            }
        } else {
            QFAIL(qPrintable(u"unknown step "_s + step));
        }
    }

    const QString dir = m_dir->path();
    QCOMPARE(m_form->SourcePath, QString(expectedPath).replace(u"{dir}"_s, dir));
    QCOMPARE(caption(), QString(expectedCaption).replace(u"{dir}"_s, dir));
    QCOMPARE(m_fakes.dialog->presetsSeen, QStringList(dialogUses, kPreset));
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        QCOMPARE(readBytes(path(it.key())), it.value());
    for (const QString &name : absent)
        QVERIFY2(!QFileInfo::exists(path(name)), qPrintable(name));
    QCOMPARE(m_fakes.messages->shown.size(), 0);
}

void TestFileCommands::openFillsTheBlockList()
{
    const QByteArray first = "outer {\r\n inner { }\r\n}\r\n";
    const QByteArray second = "{ only one";
    QVERIFY(writeBytes(path(u"first.vornex"_s), first));
    QVERIFY(writeBytes(path(u"second.vornex"_s), second));

    const auto expected = [](const QByteArray &bytes) {
        QStringList entries;
        const std::string_view text(bytes.data(), static_cast<std::size_t>(bytes.size()));
        for (const std::string &entry : ScanBlocks(text).entries(text))
            entries.append(QString::fromStdString(entry));
        return entries;
    };
    open(path(u"first.vornex"_s));
    QCOMPARE(blockEntries(), expected(first));
    QCOMPARE(blockEntries().size(), 2);
    QCOMPARE(m_form->Combo1->currentIndex(), -1);
    open(path(u"second.vornex"_s));
    QCOMPARE(blockEntries(), QStringList{QString::fromUtf8(kMisalignedEntry)});
    m_form->CNSF_Click();
    QCOMPARE(blockEntries(), QStringList{QString::fromUtf8(kMisalignedEntry)});
}

void TestFileCommands::captionShowsThePathAsItIs_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("modified-mark placeholder") << u"a[*]b.vornex"_s;
    QTest::newRow("doubled placeholder") << u"[*][*].vornex"_s;
    QTest::newRow("blanks and quotes") << u"my \"file\" 'x'.vornex"_s;
    QTest::newRow("non-ASCII name") << u"Ünïcödé файл.vornex"_s;
}

void TestFileCommands::captionShowsThePathAsItIs()
{
    QFETCH(QString, name);
    QVERIFY(saveAs(path(name)));
    QCOMPARE(caption(), u"KELD IDE - "_s + path(name));
    QVERIFY(writeBytes(path(u"x"_s), "x"));
    open(path(u"x"_s));
    open(path(name));
    QCOMPARE(caption(), u"KELD IDE - "_s + path(name));
}

// The dialog of the desktop, driven by hand: its fixed settings, and what it hands back.
void TestFileCommands::desktopDialog_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("expected");

    QTest::newRow("cancelled") << u"x.vornex"_s << false << kPreset;
    QTest::newRow("existing file") << u"old.vornex"_s << true << u"{dir}/old.vornex"_s;
    QTest::newRow("file that does not exist yet")
        << u"new.vornex"_s << true << u"{dir}/new.vornex"_s;
    QTest::newRow("no extension added") << u"program"_s << true << u"{dir}/program"_s;
    QTest::newRow("another extension") << u"notes.txt"_s << true << u"{dir}/notes.txt"_s;
    QTest::newRow("the preset itself is no choice") << kPreset << true << kPreset;
    QTest::newRow("a typed pattern only filters") << u"*.t?t"_s << true << kPreset;
}

void TestFileCommands::desktopDialog()
{
    QFETCH(QString, typed);
    QFETCH(bool, accept);
    QFETCH(QString, expected);
    QVERIFY(writeBytes(path(u"old.vornex"_s), "old"));

    const std::unique_ptr<FileDialog> dialog = makeQtFileDialog();
    dialog->setFileName(kPreset);
    std::optional<QString> problem;
    bool seen = false;
    QTimer::singleShot(0, this, [&] {
        auto *shown = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!shown) {
            problem = u"no modal file dialog"_s;
            return;
        }
        seen = true;
        auto *nameField = shown->findChild<QLineEdit *>(u"fileNameEdit"_s);
        if (shown->windowTitle() != u"Vor Source File")
            problem = u"title "_s + shown->windowTitle();
        else if (shown->nameFilters() != QStringList{kPreset})
            problem = u"filters "_s + shown->nameFilters().join(u'|');
        else if (shown->acceptMode() != QFileDialog::AcceptOpen ||
                 shown->fileMode() != QFileDialog::AnyFile)
            problem = u"not an open dialog that takes any name"_s;
        else if (!shown->testOption(QFileDialog::DontConfirmOverwrite) ||
                 !shown->defaultSuffix().isEmpty())
            problem = u"asks before overwriting or adds an extension"_s;
        else if (nameField && nameField->text() != kPreset)
            problem = u"name field preset to "_s + nameField->text();
        shown->setDirectory(m_dir->path());
        if (!accept) {
            shown->reject();
            return;
        }
        if (!nameField) {
            problem = u"no file name field"_s;
            shown->reject();
            return;
        }
        nameField->setText(typed);
        QTest::keyClick(nameField, Qt::Key_Return);
        // A dialog that stays open (a question, a filter taken from the name) is closed here so
        // that the test ends; the result then is still the preset.
        if (shown->isVisible())
            shown->reject();
    });
    dialog->showOpen(m_form.get());

    QVERIFY(seen);
    QVERIFY2(!problem, qPrintable(problem.value_or(QString())));
    QCOMPARE(dialog->fileName(), QString(expected).replace(u"{dir}"_s, m_dir->path()));
    QCOMPARE(readBytes(path(u"old.vornex"_s)), QByteArray("old"));
}

// ---------------------------------------------------------------------------------------------
// Byte-exact round trips

void TestFileCommands::roundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("CR LF") << QByteArray("start {\r\n  mov a, b\r\n}\r\n");
    QTest::newRow("LF only") << QByteArray("start {\n  mov a, b\n}\n");
    QTest::newRow("CR only") << QByteArray("start {\r  mov a, b\r}\r");
    QTest::newRow("mixed line breaks") << QByteArray("a\r\nb\nc\rd\n\re\r\r\n");
    QTest::newRow("no final line break") << QByteArray("last line {}");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("only line breaks") << QByteArray("\r\n\r\n\n\r");
    QTest::newRow("UTF-8 without byte-order mark")
        << QByteArray("\xc3\xa4 \xd0\xb6 \xe2\x82\xac\r\n");
    QTest::newRow("UTF-8 with byte-order mark") << QByteArray("\xef\xbb\xbf\xc3\xa4 {\r\n}\r\n");
    QTest::newRow("Latin-1 bytes") << QByteArray("caf\xe9 na\xefve \xff\xfe\r\n");
    QTest::newRow("Windows-1251 bytes") << QByteArray("\xcf\xf0\xe8\xe2\xe5\xf2 {\r\n}\r\n");
    QTest::newRow("truncated UTF-8 at the end") << QByteArray("abc\xe2\x82");
    QTest::newRow("NUL bytes") << QByteArray("a\0b\r\n\0\0{\0}\r\n\0", 13);
    QTest::newRow("rich-text markup")
        << QByteArray("{\\rtf1\\ansi{\\fonttbl\\f0 Fixedsys;}\\f0 x}\r\n");
    QTest::newRow("tabs and trailing blanks") << QByteArray("\tmov\t a \t \r\n  \r\n");
    QTest::newRow("10 MiB") << largeSource();
}

void TestFileCommands::roundTrip()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(writeBytes(path(u"in.vornex"_s), bytes));

    open(path(u"in.vornex"_s));
    QCOMPARE(m_fakes.messages->shown.size(), 0);
    QCOMPARE(m_form->SourcePath, path(u"in.vornex"_s));
    QCOMPARE(m_form->RichTextBox1->rawBytes().size(), bytes.size());
    QVERIFY(m_form->RichTextBox1->rawBytes() == bytes);

    QVERIFY(m_form->Saves_Click());
    QVERIFY(readBytes(path(u"in.vornex"_s)) == bytes);
    QVERIFY(saveAs(path(u"out.vornex"_s)));
    QVERIFY(readBytes(path(u"out.vornex"_s)) == bytes);
    QCOMPARE(snapshot(m_dir->path()).size(), 2);
}

// Typing at the start or the end of an opened file changes only what was typed; Enter inserts
// the file's own line break, CR LF in a file that has none and in a new file.
void TestFileCommands::typing_data()
{
    QTest::addColumn<bool>("newFile");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("atEnd");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("new file") << true << QByteArray() << false << QByteArray("ab\r\ncd");
    QTest::newRow("CR LF file") << false << QByteArray("x\r\ny") << false
                                << QByteArray("ab\r\ncdx\r\ny");
    QTest::newRow("LF file") << false << QByteArray("x\ny\r\n") << false
                             << QByteArray("ab\ncdx\ny\r\n");
    QTest::newRow("CR file") << false << QByteArray("x\ry") << false << QByteArray("ab\rcdx\ry");
    QTest::newRow("CR file at the end")
        << false << QByteArray("x\ry\r") << true << QByteArray("x\ry\rab\rcd");
    QTest::newRow("no line break") << false << QByteArray("x") << true << QByteArray("xab\r\ncd");
    QTest::newRow("Latin-1 bytes") << false << QByteArray("\xe9\xff\n\xe9") << true
                                   << QByteArray("\xe9\xff\n\xe9"
                                                 "ab\ncd");
    QTest::newRow("NUL bytes") << false << QByteArray("\0\r\n\0", 4) << true
                               << QByteArray("\0\r\n\0ab\r\ncd", 10);
    QTest::newRow("byte-order mark") << false << QByteArray("\xef\xbb\xbfx\r\n") << true
                                     << QByteArray("\xef\xbb\xbfx\r\nab\r\ncd");
}

void TestFileCommands::typing()
{
    QFETCH(bool, newFile);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, atEnd);
    QFETCH(QByteArray, expected);

    if (newFile) {
        QVERIFY(writeBytes(path(u"lf.vornex"_s), "lf\nfile\n"));
        open(path(u"lf.vornex"_s));
        m_form->CNSF_Click();
    } else {
        QVERIFY(writeBytes(path(u"typed.vornex"_s), bytes));
        open(path(u"typed.vornex"_s));
    }
    m_form->RichTextBox1->setFocus();
    if (atEnd)
        QTest::keyClick(m_form->RichTextBox1, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(m_form->RichTextBox1, u"ab"_s);
    QTest::keyClick(m_form->RichTextBox1, Qt::Key_Return);
    QTest::keyClicks(m_form->RichTextBox1, u"cd"_s);

    QVERIFY(m_form->Saves_Click());
    QCOMPARE(readBytes(m_form->SourcePath), expected);
}

// ---------------------------------------------------------------------------------------------
// What a save keeps: symlinks, permission bits, owner and group

void TestFileCommands::symlinks_data()
{
    // Each link is "name -> target", made in order; the save goes to the first one.
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QString>("finalTarget");
    QTest::addColumn<bool>("targetExists");

    QTest::newRow("link to a file") << QStringList{u"l -> t.vornex"_s} << u"t.vornex"_s << true;
    QTest::newRow("absolute link")
        << QStringList{u"l -> {dir}/t.vornex"_s} << u"t.vornex"_s << true;
    QTest::newRow("chain of links")
        << QStringList{u"l -> m"_s, u"m -> sub/n"_s, u"sub/n -> ../t.vornex"_s} << u"t.vornex"_s
        << true;
    QTest::newRow("dangling link") << QStringList{u"l -> t.vornex"_s} << u"t.vornex"_s << false;
    QTest::newRow("dangling chain")
        << QStringList{u"l -> m"_s, u"m -> t.vornex"_s} << u"t.vornex"_s << false;
    QTest::newRow("link into another folder")
        << QStringList{u"l -> sub/t.vornex"_s} << u"sub/t.vornex"_s << true;
}

void TestFileCommands::symlinks()
{
    QFETCH(QStringList, links);
    QFETCH(QString, finalTarget);
    QFETCH(bool, targetExists);

    QVERIFY(QDir(m_dir->path()).mkdir(u"sub"_s));
    if (targetExists)
        QVERIFY(writeBytes(path(finalTarget), "old text that is longer\r\n"));
    QStringList linkTargets;
    for (const QString &link : links) {
        const QString from = link.section(u" -> "_s, 0, 0);
        const QString to = link.section(u" -> "_s, 1).replace(u"{dir}"_s, m_dir->path());
        QVERIFY(::symlink(QFile::encodeName(to).constData(),
                          QFile::encodeName(path(from)).constData()) == 0);
        linkTargets.append(to);
    }

    QTest::keyClicks(m_form->RichTextBox1, u"new {}"_s);
    const QString first = path(links.first().section(u" -> "_s, 0, 0));
    QVERIFY(saveAs(first));
    QVERIFY(m_form->Saves_Click());
    QCOMPARE(m_fakes.messages->shown.size(), 0);
    QCOMPARE(readBytes(path(finalTarget)), QByteArray("new {}"));
    for (int i = 0; i < links.size(); ++i) {
        const QString from = path(links[i].section(u" -> "_s, 0, 0));
        QVERIFY2(QFileInfo(from).isSymLink(), qPrintable(from));
        QCOMPARE(QFile::encodeName(QFile::symLinkTarget(from)),
                 QFile::encodeName(QDir::cleanPath(
                     QDir(QFileInfo(from).absolutePath()).absoluteFilePath(linkTargets[i]))));
    }
    QVERIFY(QFileInfo(path(finalTarget)).isFile());
    QVERIFY(!QFileInfo(path(finalTarget)).isSymLink());
}

void TestFileCommands::permissions_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<mode_t>("mode");
    QTest::addColumn<mode_t>("umaskValue");
    QTest::addColumn<mode_t>("expected");

    for (mode_t mode : {0600, 0644, 0755, 0640, 0444, 0400, 0000, 0666, 0777, 04755, 02750}) {
        const QByteArray name = "existing " + QByteArray::number(mode, 8).rightJustified(4, '0');
        QTest::newRow(name.constData()) << true << mode << mode_t(022) << mode;
    }
    QTest::newRow("new file, umask 022") << false << mode_t(0) << mode_t(022) << mode_t(0644);
    QTest::newRow("new file, umask 077") << false << mode_t(0) << mode_t(077) << mode_t(0600);
    QTest::newRow("new file, umask 002") << false << mode_t(0) << mode_t(002) << mode_t(0664);
}

void TestFileCommands::permissions()
{
    QFETCH(bool, exists);
    QFETCH(mode_t, mode);
    QFETCH(mode_t, umaskValue);
    QFETCH(mode_t, expected);

    const QString file = path(u"p.vornex"_s);
    if (exists) {
        QVERIFY(writeBytes(file, "old"));
        QVERIFY(::chmod(QFile::encodeName(file).constData(), mode) == 0);
        QCOMPARE(modeOf(file), mode);
    }
    if (exists && (mode & 0200) == 0 && ::geteuid() != 0)
        QSKIP("only root may replace a file without owner write permission");

    const mode_t oldMask = ::umask(umaskValue);
    QTest::keyClicks(m_form->RichTextBox1, u"text"_s);
    const bool saved = saveAs(file);
    ::umask(oldMask);
    QVERIFY(saved);
    QCOMPARE(modeOf(file), expected);
    // A second save of the same file keeps the bits it now has.
    QVERIFY(m_form->Saves_Click());
    QCOMPARE(modeOf(file), expected);
    QCOMPARE(readBytes(file), QByteArray("text"));
}

void TestFileCommands::ownerAndGroupKept()
{
    if (::geteuid() != 0)
        QSKIP("only root may give a file to another user");
    const QString file = path(u"owned.vornex"_s);
    QVERIFY(writeBytes(file, "old"));
    QVERIFY(::chown(QFile::encodeName(file).constData(), 12345, 23456) == 0);
    QVERIFY(::chmod(QFile::encodeName(file).constData(), 04750) == 0);

    QTest::keyClicks(m_form->RichTextBox1, u"text"_s);
    QVERIFY(saveAs(file));
    struct stat st;
    QVERIFY(::stat(QFile::encodeName(file).constData(), &st) == 0);
    QCOMPARE(st.st_uid, uid_t(12345));
    QCOMPARE(st.st_gid, gid_t(23456));
    // Giving a file away clears its set-user-ID bit; the bits must still come out exact.
    QCOMPARE(st.st_mode & 07777, mode_t(04750));
}

// ---------------------------------------------------------------------------------------------
// Failures: each one is reported, names the file and a reason, and changes nothing

namespace {

enum class Target {
    Directory,
    ParentMissing,
    ParentIsFile,
    ProcFile,
    ProcNewFile,
    NameTooLong,
    SymlinkLoop,
    SymlinkToDirectory,
    Fifo,
    DevNull,
    Missing,
    FileSizeLimit,
    OverOneGiB,
    ReadOnlyFile,
    ReadOnlyFolder,
};

} // namespace

Q_DECLARE_METATYPE(Target)

namespace {

// Makes what kind names below dir and returns the path to hand to the command.
QString makeTarget(Target kind, const QString &dir)
{
    const auto at = [&](const QString &name) {
        return dir + u'/' + name;
    };
    switch (kind) {
    case Target::Directory:
        QDir(dir).mkdir(u"folder.vornex"_s);
        return at(u"folder.vornex"_s);
    case Target::ParentMissing:
        return at(u"missing/x.vornex"_s);
    case Target::ParentIsFile:
        writeBytes(at(u"plain"_s), "plain");
        return at(u"plain/x.vornex"_s);
    case Target::ProcFile:
        return u"/proc/version"_s;
    case Target::ProcNewFile:
        return u"/proc/new.vornex"_s;
    case Target::NameTooLong:
        return at(QString(256, u'n'));
    case Target::SymlinkLoop:
        ::symlink("loop2", QFile::encodeName(at(u"loop1"_s)).constData());
        ::symlink("loop1", QFile::encodeName(at(u"loop2"_s)).constData());
        return at(u"loop1"_s);
    case Target::SymlinkToDirectory:
        QDir(dir).mkdir(u"realdir"_s);
        ::symlink("realdir", QFile::encodeName(at(u"dirlink"_s)).constData());
        return at(u"dirlink"_s);
    case Target::Fifo:
        ::mkfifo(QFile::encodeName(at(u"fifo"_s)).constData(), 0644);
        return at(u"fifo"_s);
    case Target::DevNull:
        return u"/dev/null"_s;
    case Target::Missing:
        return at(u"missing.vornex"_s);
    case Target::OverOneGiB: {
        // Sparse: it takes no room on the disk.
        QFile huge(at(u"huge.vornex"_s));
        huge.open(QIODevice::WriteOnly);
        huge.resize((qint64(1) << 30) + 1);
        return at(u"huge.vornex"_s);
    }
    case Target::ReadOnlyFile:
        writeBytes(at(u"readonly.vornex"_s), "old");
        QFile::setPermissions(at(u"readonly.vornex"_s), QFile::ReadOwner);
        return at(u"readonly.vornex"_s);
    case Target::ReadOnlyFolder:
        QDir(dir).mkdir(u"locked"_s);
        writeBytes(at(u"locked/x.vornex"_s), "old");
        QFile::setPermissions(at(u"locked"_s), QFile::ReadOwner | QFile::ExeOwner);
        return at(u"locked/x.vornex"_s);
    case Target::FileSizeLimit:
        writeBytes(at(u"limited.vornex"_s), "the old text stays whole\r\n");
        return at(u"limited.vornex"_s);
    }
    return {};
}

} // namespace

void TestFileCommands::saveFailures_data()
{
    QTest::addColumn<Target>("target");
    QTest::addColumn<bool>("viaSaveAs");

    const QList<QPair<const char *, Target>> rows{
        {"target is a folder", Target::Directory},
        {"parent folder missing", Target::ParentMissing},
        {"parent is a file", Target::ParentIsFile},
        {"existing /proc file", Target::ProcFile},
        {"new file in /proc", Target::ProcNewFile},
        {"name over 255 bytes", Target::NameTooLong},
        {"symlink loop", Target::SymlinkLoop},
        {"symlink to a folder", Target::SymlinkToDirectory},
        {"FIFO", Target::Fifo},
        {"/dev/null", Target::DevNull},
        {"file-size limit hit in mid-write", Target::FileSizeLimit},
        {"file without write permission", Target::ReadOnlyFile},
        {"folder without write permission", Target::ReadOnlyFolder},
    };
    for (const auto &[name, target] : rows) {
        QTest::newRow(qPrintable(u"save as, "_s + QLatin1StringView(name))) << target << true;
        QTest::newRow(qPrintable(u"save, "_s + QLatin1StringView(name))) << target << false;
    }
}

void TestFileCommands::saveFailures()
{
    QFETCH(Target, target);
    QFETCH(bool, viaSaveAs);
    if ((target == Target::ReadOnlyFile || target == Target::ReadOnlyFolder) && ::geteuid() == 0)
        QSKIP("root may write anything");

    // A text larger than the file-size limit and than any buffer, with a block in it.
    QByteArray text = "main {\r\n}\r\n";
    text += QByteArray(3 * 1024 * 1024, 'x');
    QVERIFY(writeBytes(path(u"current.vornex"_s), text));
    open(path(u"current.vornex"_s));
    QCOMPARE(m_fakes.messages->shown.size(), 0);
    QTest::keyClicks(m_form->RichTextBox1, u"unsaved "_s);
    const QString file = makeTarget(target, m_dir->path());
    if (!viaSaveAs)
        m_form->SourcePath = file;

    const QByteArray textBefore = m_form->RichTextBox1->rawBytes();
    const QStringList entriesBefore = blockEntries();
    const QString pathBefore = m_form->SourcePath;
    const QString captionBefore = caption();
    const QStringList filesBefore = snapshot(m_dir->path());
    const QByteArray contentBefore = QFileInfo(file).isFile() ? readBytes(file) : QByteArray();

    bool saved = false;
    {
        std::unique_ptr<FileSizeLimit> limit;
        if (target == Target::FileSizeLimit)
            limit = std::make_unique<FileSizeLimit>(1024 * 1024);
        if (viaSaveAs) {
            m_fakes.dialog->answers.enqueue(file);
            m_form->SaveAss_Click();
        } else {
            saved = m_form->Saves_Click();
        }
    }

    QVERIFY(!saved);
    QCOMPARE(m_fakes.messages->shown.size(), 1);
    const fakes::Message message = m_fakes.messages->shown.constFirst();
    QCOMPARE(message.title, u"Project1"_s);
    const QString head = u"Cannot save \""_s + file + u"\":\n"_s;
    QVERIFY2(message.text.startsWith(head), qPrintable(message.text));
    const QString reason = message.text.mid(head.size());
    QVERIFY2(reason.size() > 3 && !reason.contains(u"Unknown error"_s), qPrintable(reason));

    QVERIFY(m_form->RichTextBox1->rawBytes() == textBefore);
    QCOMPARE(blockEntries(), entriesBefore);
    QCOMPARE(m_form->SourcePath, pathBefore);
    QCOMPARE(caption(), captionBefore);
    QCOMPARE(snapshot(m_dir->path()), filesBefore);
    if (QFileInfo(file).isFile() && file.startsWith(m_dir->path()))
        QVERIFY(readBytes(file) == contentBefore);
    QVERIFY(m_form->isVisible());
}

void TestFileCommands::openFailures_data()
{
    QTest::addColumn<Target>("target");
    QTest::newRow("missing file") << Target::Missing;
    QTest::newRow("folder") << Target::Directory;
    QTest::newRow("parent folder missing") << Target::ParentMissing;
    QTest::newRow("parent is a file") << Target::ParentIsFile;
    QTest::newRow("name over 255 bytes") << Target::NameTooLong;
    QTest::newRow("symlink loop") << Target::SymlinkLoop;
    QTest::newRow("symlink to a folder") << Target::SymlinkToDirectory;
    QTest::newRow("FIFO without a writer") << Target::Fifo;
    QTest::newRow("/dev/null") << Target::DevNull;
    QTest::newRow("file over 1 GiB") << Target::OverOneGiB;
}

void TestFileCommands::openFailures()
{
    QFETCH(Target, target);

    QVERIFY(writeBytes(path(u"current.vornex"_s), "keep {\r\n}\r\n"));
    open(path(u"current.vornex"_s));
    QTest::keyClicks(m_form->RichTextBox1, u"unsaved "_s);
    const QString file = makeTarget(target, m_dir->path());

    const QByteArray textBefore = m_form->RichTextBox1->rawBytes();
    const QStringList entriesBefore = blockEntries();
    const QString pathBefore = m_form->SourcePath;
    const QString captionBefore = caption();
    const QStringList filesBefore = snapshot(m_dir->path());

    open(file);

    QCOMPARE(m_fakes.messages->shown.size(), 1);
    const fakes::Message message = m_fakes.messages->shown.constFirst();
    QCOMPARE(message.title, u"Project1"_s);
    const QString head = u"Cannot open \""_s + file + u"\":\n"_s;
    QVERIFY2(message.text.startsWith(head), qPrintable(message.text));
    const QString reason = message.text.mid(head.size());
    QVERIFY2(reason.size() > 3 && !reason.contains(u"Unknown error"_s), qPrintable(reason));

    QVERIFY(m_form->RichTextBox1->rawBytes() == textBefore);
    QCOMPARE(blockEntries(), entriesBefore);
    QCOMPARE(m_form->SourcePath, pathBefore);
    QCOMPARE(caption(), captionBefore);
    QCOMPARE(snapshot(m_dir->path()), filesBefore);
}

QTEST_MAIN(TestFileCommands)
#include "tst_filecommands.moc"
