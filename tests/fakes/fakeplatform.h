#pragma once

// Stand-ins for the outside world of the IDE: the file dialog answers from a script; the message
// box, the process launcher, the HTML viewers and the end of the process only record what they
// were asked. The windows stay real.

#include "platform/platform.h"

#include <QList>
#include <QQueue>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <string_view>

namespace vornex::fakes {

// The editor's text as raw bytes, NULs and invalid UTF-8 included.
inline QByteArray bytesOf(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

struct Message
{
    QString title;
    QString text;
};

// What the fakes were asked, and how they answer. Must outlive the window given make()'s Platform.
struct FakePlatform
{
    QQueue<QString> dialogAnswers; // one per showOpen; with none left the preset stays, as Cancel
    QStringList dialogPresets;     // the name each showOpen found preset
    QList<Message> messages;
    QList<QStringList> launches; // program and arguments of every start
    QList<ViewerKind> viewers;   // one per viewer created
    QList<QUrl> navigations;     // of all viewers, in order
    QList<int> exits;            // the statuses endProcess was given

    Platform make(const QString &appDir);
};

namespace detail {

template <class Interface> struct Part : Interface
{
    explicit Part(FakePlatform &f) : f(f) {}
    FakePlatform &f;
};

struct Dialog final : Part<FileDialog>
{
    using Part::Part;
    void setFileName(const QString &name) override { this->name = name; }
    QString fileName() const override { return name; }
    void showOpen(QWidget *) override
    {
        f.dialogPresets.append(name);
        if (!f.dialogAnswers.isEmpty())
            name = f.dialogAnswers.dequeue();
    }
    QString name;
};

struct Messages final : Part<MessageBox>
{
    using Part::Part;
    void warning(QWidget *, const QString &title, const QString &text) override
    {
        f.messages.append({title, text});
    }
};

struct Launcher final : Part<ProcessLauncher>
{
    using Part::Part;
    bool startDetached(const QString &program, const QStringList &args, QString *) override
    {
        f.launches.append(QStringList{program} + args);
        return true;
    }
};

// Like the real viewer, the viewer is its own widget and goes with the window that holds it.
struct Viewer final : QWidget, HtmlViewer
{
    Viewer(QWidget *parent, FakePlatform &f) : QWidget(parent), f(f) {}
    QWidget *widget() override { return this; }
    void navigate(const QUrl &address) override { f.navigations.append(address); }
    FakePlatform &f;
};

struct Viewers final : Part<HtmlViewerFactory>
{
    using Part::Part;
    HtmlViewer *create(QWidget *parent, ViewerKind kind) override
    {
        f.viewers.append(kind);
        return new Viewer(parent, f);
    }
};

} // namespace detail

inline Platform FakePlatform::make(const QString &appDir)
{
    return {appDir,
            std::make_unique<detail::Dialog>(*this),
            std::make_unique<detail::Messages>(*this),
            std::make_unique<detail::Launcher>(*this),
            std::make_unique<detail::Viewers>(*this),
            [this](int status) {
                exits.append(status);
            }};
}

} // namespace vornex::fakes
