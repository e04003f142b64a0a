// Open and Save of a 10 MiB source: the file read into the editor's raw bytes, and the editor's
// bytes written back atomically. The main-window variant adds the block list rebuilt on load.
// Then the measurements behind the limits of Open: long lines and large texts shown, and typed in.
#include "fakes/fakeplatform.h"
#include "form1.h"
#include "sourceeditor.h"
#include "sourcefile.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

// About size bytes of code with blocks, CR LF line breaks and a few bytes that are not UTF-8.
QByteArray source(qsizetype size)
{
    QByteArray bytes;
    bytes.reserve(size + 100);
    for (int i = 0; bytes.size() < size; ++i) {
        bytes += "block";
        bytes += QByteArray::number(i);
        bytes += " {\r\n  mov r1, r2 ; caf\xe9\r\n  add r1, 4\r\n}\r\n";
    }
    return bytes;
}

// The memory the process holds, in bytes.
long residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toLong() * 4096;
}

struct Fixture
{
    QTemporaryDir dir;
    QString path = dir.path() + QStringLiteral("/big.vornex");
    QByteArray source = ::source(10 << 20);

    Fixture()
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(source) != source.size())
            std::abort();
    }
};

Fixture &fixture()
{
    static Fixture f;
    return f;
}

void BM_Open(benchmark::State &state)
{
    Fixture &f = fixture();
    vornex::SourceEditor editor;
    for (auto _ : state) {
        std::string bytes;
        QString error;
        if (!vornex::readSourceFile(f.path, &bytes, &error))
            state.SkipWithError(qPrintable(error));
        editor.setRawBytes(bytes);
    }
    state.SetBytesProcessed(state.iterations() * f.source.size());
}
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Save(benchmark::State &state)
{
    Fixture &f = fixture();
    vornex::SourceEditor editor;
    editor.setRawBytes(f.source.toStdString());
    for (auto _ : state) {
        QString error;
        if (!vornex::writeSourceFile(f.path, editor.bytesView(), &error))
            state.SkipWithError(qPrintable(error));
    }
    state.SetBytesProcessed(state.iterations() * f.source.size());
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->UseRealTime();

// File > Open and File > Save of the main window: the above plus the block list rebuilt.
void BM_MainWindowOpenSave(benchmark::State &state)
{
    Fixture &f = fixture();
    vornex::fakes::FakePlatform fakes;
    vornex::Form1 form(fakes.make(f.dir.path()));
    const bool save = state.range(0) != 0;
    if (save) {
        fakes.dialogAnswers.enqueue(f.path);
        form.LoadS_Click();
    }
    for (auto _ : state) {
        if (save) {
            if (!form.Saves_Click())
                state.SkipWithError("save failed");
        } else {
            fakes.dialogAnswers.enqueue(f.path);
            form.LoadS_Click();
        }
    }
    if (!fakes.messages.isEmpty())
        state.SkipWithError(qPrintable(fakes.messages.constFirst()));
    state.counters["entries"] = form.blockList()->count();
}
BENCHMARK(BM_MainWindowOpenSave)
    ->ArgName("save")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Where the editor stops showing a text within about a second, which sets the limits of Open:
// the text loaded into the main window (block list rebuilt) until the editor has drawn it, past
// the limits too, so without the file read that refuses them.
void show(benchmark::State &state, const QByteArray &text)
{
    vornex::fakes::FakePlatform fakes;
    vornex::Form1 form(fakes.make(QDir::tempPath()));
    form.show();
    QCoreApplication::processEvents();
    const long before = residentBytes();
    long peak = before;
    for (auto _ : state) {
        form.CNSF_Click();
        form.editor()->viewport()->repaint();
        form.editor()->setRawBytes(text.toStdString());
        form.editor()->viewport()->repaint();
        QCoreApplication::processEvents();
        peak = std::max(peak, residentBytes());
    }
    state.SetBytesProcessed(state.iterations() * text.size());
    state.counters["resident_per_byte"] = double(peak - before) / double(text.size());
}

// One line: Scintilla lays a line out whole to draw any part of it. Arguments: its length, and
// what it holds: 0 code, 1 NUL bytes (drawn as boxed "NUL" marks), 2 letters with a combining
// accent; code is the slowest per byte of the kinds tried (also CJK, emoji, tabs, invalid bytes).
void BM_ShowLongLine(benchmark::State &state)
{
    static const char *const kinds[] = {"mov a, b; ", "", "a\xcc\x81"};
    const char *kind = kinds[state.range(1)];
    QByteArray line(state.range(0), '\0');
    for (qsizetype i = 0; *kind && i < line.size(); ++i)
        line[i] = kind[i % qstrlen(kind)];
    show(state, line);
}
BENCHMARK(BM_ShowLongLine)
    ->ArgNames({"bytes", "kind"})
    ->ArgsProduct({{1 << 16, 245000, 1 << 20}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Many short lines; the argument is the size in MiB.
void BM_ShowSize(benchmark::State &state)
{
    show(state, source(state.range(0) << 20));
}
BENCHMARK(BM_ShowSize)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();

// File > Open of what the editor cannot show, until the message: a 20 MB line, a 1 GiB file of
// zeros (sparse), a 1 MiB line; the message is the benchmark's label.
void BM_OpenRefused(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/refused.vornex");
    QFile file(path);
    const bool made =
        file.open(QIODevice::WriteOnly) &&
        (state.range(0) == 1
             ? file.resize(qint64(1) << 30)
             : file.write(QByteArray(state.range(0) == 2 ? 1 << 20 : 20000000, 'x')) > 0);
    file.close();
    vornex::fakes::FakePlatform fakes;
    vornex::Form1 form(fakes.make(dir.path()));
    for (auto _ : state) {
        fakes.dialogAnswers.enqueue(path);
        form.LoadS_Click();
    }
    if (!made || fakes.messages.isEmpty())
        state.SkipWithError("not refused");
    else
        state.SetLabel(fakes.messages.constFirst().section(u'\n', 1).toStdString());
}
BENCHMARK(BM_OpenRefused)
    ->ArgName("input")
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One key typed at the end of the text and deleted again, in the main window. Arguments: a line of
// code of that many bytes, or a text of that many MiB.
void BM_KeystrokeAtEnd(benchmark::State &state)
{
    vornex::fakes::FakePlatform fakes;
    vornex::Form1 form(fakes.make(QDir::tempPath()));
    form.show();
    form.editor()->setRawBytes((state.range(0)
                                    ? QByteArray("mov a, b; ").repeated(state.range(0) / 10)
                                    : source(state.range(1) << 20))
                                   .toStdString());
    form.editor()->SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    form.editor()->setFocus();
    QCoreApplication::processEvents();
    bool typed = false;
    for (auto _ : state) {
        const int key = typed ? Qt::Key_Backspace : Qt::Key_X;
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier,
                       typed ? QString() : QStringLiteral("x"));
        QCoreApplication::sendEvent(form.editor(), &down);
        form.editor()->viewport()->repaint();
        typed = !typed;
    }
}
BENCHMARK(BM_KeystrokeAtEnd)
    ->ArgNames({"line", "MiB"})
    ->Args({245000, 0})
    ->Args({0, 16})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
