// The whole keystroke path with real widgets offscreen: one key press in the editor, the text
// change notification, the scan and the block list rebuilt.
#include "editor/form1.h"
#include "platform/sourceeditor.h"
#include "sources.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>

#include <benchmark/benchmark.h>

namespace {

vornex::Form1 &window()
{
    static vornex::Form1 *form = [] {
        vornex::Platform platform;
        platform.appDir = QStringLiteral("/tmp");
        platform.endProcess = [](int) {
        };
        auto *f = new vornex::Form1(std::move(platform));
        f->show();
        return f;
    }();
    return *form;
}

void press(QWidget *target, int key, const QString &text)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &up);
}

// Types a character into the middle of the text, then deletes it again: two keystrokes.
void keystroke(benchmark::State &state, const std::string &source)
{
    vornex::Form1 &form = window();
    vornex::SourceEditor *editor = form.RichTextBox1;
    editor->setRawBytes(QByteArrayView(source.data(), static_cast<qsizetype>(source.size())));
    editor->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, source.size() / 2);
    editor->setFocus();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        press(editor, Qt::Key_X, QStringLiteral("x"));
        press(editor, Qt::Key_Backspace, QString());
    }
    state.SetItemsProcessed(2 * state.iterations());
    state.counters["entries"] = form.Combo1->count();
    state.counters["ms_per_key"] =
        benchmark::Counter(2 * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    if (editor->bytesView() != source)
        state.SkipWithError("the text changed");
}

void registerAll()
{
    static const std::string realistic = vornex::bench::realisticSource(32766);
    static const std::string worst = vornex::bench::worstCaseSource();
    static const std::string mib1 = vornex::bench::realisticSource(1 << 20);
    static const std::string mib10 = vornex::bench::realisticSource(10 << 20);
    const std::pair<const char *, const std::string *> inputs[] = {
        {"keystroke/a_realistic_32766", &realistic},
        {"keystroke/b_worst_case", &worst},
        {"keystroke/c_1MiB", &mib1},
        {"keystroke/d_10MiB", &mib10},
    };
    for (const auto &[name, source] : inputs) {
        benchmark::RegisterBenchmark(
            name, [source](benchmark::State &state) { keystroke(state, *source); })
            ->Unit(benchmark::kMicrosecond)
            ->Repetitions(7)
            ->ReportAggregatesOnly(true);
    }
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
