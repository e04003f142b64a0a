// The whole keystroke path with real widgets offscreen: one key press in the editor, the text
// change notification, the scan and the block list rebuilt. Beside it, the same key in a bare
// editor with nothing connected (the editor's own share), and the rebuild of the block list
// alone (the outline's share).
#include "mainwindow.h"
#include "platform/sourceeditor.h"
#include "sources.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>

#include <benchmark/benchmark.h>

using vornex::SourceEditor;

namespace {

using vornex::bench::window;

void press(QWidget *target, int key, const QString &text)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &up);
}

// One keystroke per iteration: a character typed, then deleted again by the next one, so that
// the text is the same after an even number of them.
void typeAndDelete(benchmark::State &state, QWidget *editor)
{
    bool typed = false;
    for (auto _ : state) {
        if (typed)
            press(editor, Qt::Key_Backspace, QString());
        else
            press(editor, Qt::Key_X, QStringLiteral("x"));
        typed = !typed;
    }
    if (typed)
        press(editor, Qt::Key_Backspace, QString());
}

// Keystrokes in the middle of the text of the main window.
void keystroke(benchmark::State &state, const std::string &source)
{
    vornex::Form1 &form = window();
    vornex::SourceEditor *editor = form.RichTextBox1;
    editor->setRawBytes(QByteArrayView(source.data(), static_cast<qsizetype>(source.size())));
    editor->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, source.size() / 2);
    editor->setFocus();
    QCoreApplication::processEvents();
    typeAndDelete(state, editor);
    state.counters["entries"] = form.Combo1->count();
    if (editor->bytesView() != source)
        state.SkipWithError("the text changed");
}

// The same keystrokes in an editor that nothing listens to.
void bareKeystroke(benchmark::State &state, const std::string &source)
{
    static SourceEditor *bare = [] {
        auto *editor = new SourceEditor;
        editor->resize(560, 300);
        editor->show();
        return editor;
    }();
    bare->setRawBytes(QByteArrayView(source.data(), static_cast<qsizetype>(source.size())));
    bare->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, source.size() / 2);
    bare->setFocus();
    QCoreApplication::processEvents();
    typeAndDelete(state, bare);
}

// The block list rebuilt from the editor text, as after every change.
void rebuild(benchmark::State &state, const std::string &source)
{
    vornex::Form1 &form = window();
    form.RichTextBox1->setRawBytes(
        QByteArrayView(source.data(), static_cast<qsizetype>(source.size())));
    for (auto _ : state)
        form.LoadCombos();
    state.counters["entries"] = form.Combo1->count();
}

void registerAll()
{
    static const std::string realistic = vornex::bench::realisticSource(32766);
    static const std::string worst = vornex::bench::worstCaseSource();
    static const std::string mib1 = vornex::bench::realisticSource(1 << 20);
    static const std::string mib10 = vornex::bench::realisticSource(10 << 20);
    const std::pair<const char *, const std::string *> inputs[] = {
        {"a_realistic_32766", &realistic},
        {"b_worst_case", &worst},
        {"c_1MiB", &mib1},
        {"d_10MiB", &mib10},
    };
    using Measure = void (*)(benchmark::State &, const std::string &);
    const std::pair<const char *, Measure> measures[] = {
        {"keystroke/", keystroke},
        {"bare_editor_keystroke/", bareKeystroke},
        {"block_list_rebuild/", rebuild},
    };
    for (const auto &[input, source] : inputs) {
        for (const auto &[prefix, measure] : measures) {
            benchmark::RegisterBenchmark(
                (std::string(prefix) + input).c_str(),
                [source, measure](benchmark::State &state) { measure(state, *source); })
                ->Unit(benchmark::kMicrosecond)
                ->Repetitions(7)
                ->ReportAggregatesOnly(true);
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    return vornex::bench::runOffscreen(argc, argv, registerAll);
}
