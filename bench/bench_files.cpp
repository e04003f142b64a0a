// Open and Save of a 10 MiB source: the file read into the editor's raw bytes, and the editor's
// bytes written back atomically. The main-window variant adds the block list rebuilt on load.
#include "editor/form1.h"
#include "fakes/fakeplatform.h"
#include "platform/sourceeditor.h"
#include "platform/sourcefile.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

// About 10 MiB of code with blocks, CR LF line breaks and a few bytes that are not UTF-8.
QByteArray tenMiBSource()
{
    QByteArray bytes;
    bytes.reserve(10 * 1024 * 1024 + 100);
    for (int i = 0; bytes.size() < 10 * 1024 * 1024; ++i) {
        bytes += "block";
        bytes += QByteArray::number(i);
        bytes += " {\r\n  mov r1, r2 ; caf\xe9\r\n  add r1, 4\r\n}\r\n";
    }
    return bytes;
}

struct Fixture
{
    QTemporaryDir dir;
    QString path = dir.path() + QStringLiteral("/big.vornex");
    QByteArray source = tenMiBSource();

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
        QByteArray bytes;
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
    editor.setRawBytes(f.source);
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
        state.SkipWithError(qPrintable(fakes.messages.constFirst().text));
    state.counters["entries"] = form.Combo1->count();
}
BENCHMARK(BM_MainWindowOpenSave)
    ->ArgName("save")
    ->Arg(0)
    ->Arg(1)
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
