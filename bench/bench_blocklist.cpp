// Opening the block list's popup until its entries are drawn, and a letter typed in the box,
// on texts whose entries overlap, on a large realistic source and on entries of megabytes.
#include "mainwindow.h"
#include "sourceeditor.h"
#include "sources.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>

#include <benchmark/benchmark.h>

namespace {

using vornex::bench::window;

// Each time after the list was rebuilt, as after typing, with its last entry chosen, so that the
// popup opens on the longest entries.
void openPopup(benchmark::State &state, const std::string &source)
{
    vornex::Form1 &form = window();
    QComboBox *box = form.blockList();
    form.editor()->setRawBytes(source);
    QCoreApplication::processEvents();
    for (auto _ : state) {
        state.PauseTiming();
        form.LoadCombos();
        box->setCurrentIndex(box->count() - 1);
        box->repaint();
        state.ResumeTiming();
        box->showPopup();
        // Drawn when the popup is exposed.
        QCoreApplication::processEvents();
        state.PauseTiming();
        if (!box->view()->isVisible())
            state.SkipWithError("the popup did not open");
        box->hidePopup();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["entries"] = box->count();
}

// A letter typed in the closed box, which no entry starts with: the box searches every entry.
void typeInBox(benchmark::State &state, const std::string &source)
{
    vornex::Form1 &form = window();
    form.editor()->setRawBytes(source);
    QCoreApplication::processEvents();
    for (auto _ : state) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, QStringLiteral("q"));
        QCoreApplication::sendEvent(form.blockList(), &key);
        // A letter each time, not the word that keys typed in quick succession make.
        state.PauseTiming();
        form.blockList()->view()->keyboardSearch(QString());
        state.ResumeTiming();
    }
    if (form.blockList()->currentIndex() != -1)
        state.SkipWithError("an entry was chosen");
}

// 5,000 lines "label{" then as many "}", LF line ends: entry n holds the n lines before it.
std::string nestedLabels()
{
    std::string s;
    for (int i = 0; i < 5000; ++i)
        s += "label{\n";
    for (int i = 0; i < 5000; ++i)
        s += "}\n";
    return s;
}

// 4 MiB of LF lines, then 20 nested "label{" lines: every entry holds the 4 MiB before it.
std::string longNames()
{
    std::string s;
    for (int i = 0; i < 4096; ++i)
        s.append(1023, 'a').push_back('\n');
    for (int i = 0; i < 20; ++i)
        s += "label{\n";
    return s + std::string(20, '}');
}

void registerAll()
{
    static const std::string labels = nestedLabels();
    static const std::string names = longNames();
    static const std::string braces = std::string(16000, '{') + std::string(16000, '}');
    static const std::string mib1 = vornex::bench::realisticSource(1 << 20);
    const std::pair<const char *, const std::string *> inputs[] = {
        {"popup/nested_labels_5000", &labels},
        {"popup/braces_16000", &braces},
        {"popup/realistic_1MiB", &mib1},
        {"popup/long_names_4MiB", &names},
    };
    for (const auto &[name, source] : inputs) {
        benchmark::RegisterBenchmark(name, [source](benchmark::State &state) {
            openPopup(state, *source);
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(
            (std::string(name) + "/letter_typed").c_str(),
            [source](benchmark::State &state) { typeInBox(state, *source); })
            ->Unit(benchmark::kMillisecond);
    }
}

} // namespace

int main(int argc, char **argv)
{
    return vornex::bench::runOffscreen(argc, argv, registerAll);
}
