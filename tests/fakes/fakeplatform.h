#pragma once

// Stand-ins for the outside world of the IDE: the file dialog answers from a script; the message
// box, the process launcher, the HTML viewers and the end of the process only record what they
// were asked. The windows stay real.

#include "form1.h"
#include "platform.h"
#include "sourceeditor.h"
#include "support.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QQueue>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <string_view>

namespace vornex::fakes {

// The editor's text as raw bytes, NULs and invalid UTF-8 included.
inline QByteArray bytesOf(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

using test::readFile;
using test::writeFile;

// What the fakes were asked, and how they answer. Must outlive the window given make()'s Platform.
struct FakePlatform
{
    QQueue<QString> dialogAnswers; // one per showOpen; with none left the preset stays, as Cancel
    QStringList dialogPresets;     // the name each showOpen found preset
    QStringList messages;          // each its title, "|" and its text
    QList<QStringList> launches;   // program and arguments of every start
    QList<ViewerKind> viewers;     // one per viewer created
    QList<QUrl> navigations;       // of all viewers, in order
    QList<int> exits;              // the statuses endProcess was given

    Platform make(const QString &appDir);
};

namespace detail {

// Each part of the platform is one of these, used through one of its interfaces.
struct Fake final : FileDialog, MessageBox, ProcessLauncher, HtmlViewerFactory
{
    explicit Fake(FakePlatform &f) : f(f) {}
    void setFileName(const QString &name) override { this->name = name; }
    QString fileName() const override { return name; }
    void showOpen(QWidget *) override
    {
        f.dialogPresets.append(name);
        if (!f.dialogAnswers.isEmpty())
            name = f.dialogAnswers.dequeue();
    }
    void warning(QWidget *, const QString &title, const QString &text) override
    {
        f.messages.append(title + u'|' + text);
    }
    bool startDetached(const QString &program, const QStringList &args, QString *) override
    {
        f.launches.append(QStringList{program} + args);
        return true;
    }
    HtmlViewer *create(QWidget *parent, ViewerKind kind) override;

    FakePlatform &f;
    QString name;
};

// Like the real viewer, the viewer is its own widget and goes with the window that holds it.
struct Viewer final : QWidget, HtmlViewer
{
    Viewer(QWidget *parent, FakePlatform &f) : QWidget(parent), f(f) {}
    QWidget *widget() override { return this; }
    void navigate(const QUrl &address) override { f.navigations.append(address); }
    FakePlatform &f;
};

inline HtmlViewer *Fake::create(QWidget *parent, ViewerKind kind)
{
    f.viewers.append(kind);
    return new Viewer(parent, f);
}

} // namespace detail

inline Platform FakePlatform::make(const QString &appDir)
{
    const auto fake = [this] {
        return std::make_unique<detail::Fake>(*this);
    };
    return {appDir, fake(), fake(), fake(), fake(), [this](int status) {
                exits.append(status);
            }};
}

// A main window on fakes, shown and active with the editor focused. AppDir is a folder of its
// own, or appDir in it (as is when absolute); adjust may put real parts into the platform.
struct Ide
{
    explicit Ide(
        const QString &appDir = QString(),
        const std::function<void(Platform &)> &adjust = [](Platform &) {})
        : window([&] {
              Platform platform = fakes.make(appDir.isEmpty() ? folder.path() : path(appDir));
              adjust(platform);
              return platform;
          }())
    {
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.editor()->setFocus();
    }
    QString path(const QString &name) const { return QDir(folder.path()).filePath(name); }
    QByteArray bytes() const { return bytesOf(window.editor()->bytesView()); }

    QTemporaryDir folder;
    FakePlatform fakes;
    Form1 window;
};

} // namespace vornex::fakes
