// The whole keystroke path with real widgets offscreen: one key press in the editor, the paint
// that shows it, the outline and the block list brought up to the text. Beside it, the same key
// and paint in a bare QScintilla editor with nothing connected (the component as it comes), and
// the update of the block list alone (the outline's share).
#include "blocklistmodel.h"
#include "mainwindow.h"
#include "sourceeditor.h"
#include "sources.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>

#include <algorithm>

#include <benchmark/benchmark.h>

using vornex::SourceEditor;

namespace {

using vornex::bench::window;

// A key pressed and released, then what the event loop does next: the posted update request
// paints the window once, and whatever the key left for after the paint runs.
void press(QWidget *target, int key, const QString &text)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &up);
    QCoreApplication::sendPostedEvents();
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
    vornex::SourceEditor *editor = form.editor();
    editor->setRawBytes(source);
    editor->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, source.size() / 2);
    editor->setFocus();
    QCoreApplication::processEvents();
    typeAndDelete(state, editor);
    state.counters["entries"] = form.blockList()->count();
    if (editor->bytesView() != source)
        state.SkipWithError("the text changed");
}

// The same keystrokes in a QScintilla editor as it comes, set up as the IDE's (UTF-8, no wrap),
// that nothing listens to.
void bareKeystroke(benchmark::State &state, const std::string &source)
{
    static QsciScintilla *bare = [] {
        auto *editor = new QsciScintilla;
        editor->setUtf8(true);
        editor->setWrapMode(QsciScintilla::WrapNone);
        editor->resize(560, 300);
        editor->show();
        return editor;
    }();
    bare->SendScintilla(QsciScintillaBase::SCI_SETUNDOCOLLECTION, 0UL);
    bare->SendScintilla(QsciScintillaBase::SCI_CLEARALL);
    bare->SendScintilla(QsciScintillaBase::SCI_APPENDTEXT, source.size(), source.data());
    bare->SendScintilla(QsciScintillaBase::SCI_SETUNDOCOLLECTION, 1UL);
    bare->SendScintilla(QsciScintillaBase::SCI_EMPTYUNDOBUFFER);
    bare->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, source.size() / 2);
    bare->setFocus();
    QCoreApplication::processEvents();
    typeAndDelete(state, bare);
}

// The block list brought up to the editor text after a change of one byte in its middle, as
// after a key: the outline rescans what changed, and the list announces what that changed.
void update(benchmark::State &state, const std::string &source)
{
    vornex::Form1 &form = window();
    form.editor()->setRawBytes(source);
    QCoreApplication::processEvents();
    auto *model = static_cast<vornex::BlockListModel *>(form.blockList()->model());
    for (auto _ : state) {
        model->noteChange(qsizetype(source.size() / 2), 1, 1);
        form.LoadCombos();
    }
    state.counters["entries"] = form.blockList()->count();
}

void registerAll()
{
    static const std::string realistic = vornex::bench::realisticSource(32766);
    static const std::string worst = vornex::bench::worstCaseSource();
    static const std::string mib1 = vornex::bench::realisticSource(1 << 20);
    static const std::string mib10 = vornex::bench::realisticSource(10 << 20);
    static const std::string oneLine = [] {
        std::string text = realistic;
        std::replace_if(
            text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
        return text;
    }();
    const std::pair<const char *, const std::string *> inputs[] = {
        {"a_realistic_32766", &realistic},
        {"b_worst_case", &worst},
        {"c_1MiB", &mib1},
        {"d_10MiB", &mib10},
        {"e_one_varied_line", &oneLine},
    };
    using Measure = void (*)(benchmark::State &, const std::string &);
    const std::pair<const char *, Measure> measures[] = {
        {"keystroke/", keystroke},
        {"bare_editor_keystroke/", bareKeystroke},
        {"block_list_update/", update},
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
