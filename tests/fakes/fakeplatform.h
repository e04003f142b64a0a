#pragma once

// Stand-ins for the outside world of the IDE: a scripted file dialog, a recording message box, a
// recording process launcher, viewers that only record what they are asked to load, and an
// end-of-process that is only noted. The windows stay real.

#include "platform/platform.h"

#include <QList>
#include <QQueue>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <memory>

namespace vornex::fakes {

// Answers each showOpen with the next scripted answer; with none left it leaves the preset, as a
// cancelled dialog does. Records the file name each showOpen found preset.
class FakeFileDialog final : public FileDialog
{
public:
    QQueue<QString> answers;
    QStringList presetsSeen;

    void setFileName(const QString &name) override { m_name = name; }
    QString fileName() const override { return m_name; }
    void showOpen(QWidget *) override
    {
        presetsSeen.append(m_name);
        if (!answers.isEmpty())
            m_name = answers.dequeue();
    }

private:
    QString m_name;
};

struct Message
{
    QString title;
    QString text;
};

class FakeMessageBox final : public MessageBox
{
public:
    QList<Message> shown;

    void warning(QWidget *, const QString &title, const QString &text) override
    {
        shown.append({title, text});
    }
};

struct Launch
{
    QString program;
    QStringList arguments;
};

// Records every start; fails each one with failReason when that is set.
class FakeLauncher final : public ProcessLauncher
{
public:
    QList<Launch> started;
    QString failReason;

    bool startDetached(const QString &program, const QStringList &arguments,
                       QString *error) override
    {
        started.append({program, arguments});
        if (failReason.isEmpty())
            return true;
        if (error)
            *error = failReason;
        return false;
    }
};

struct Navigation
{
    ViewerKind kind;
    QUrl address;
};

// A plain widget that records the addresses it is told to load; owned by its parent like the
// real viewer.
class FakeViewer final : public QWidget, public HtmlViewer
{
public:
    FakeViewer(QWidget *parent, ViewerKind kind, std::shared_ptr<QList<Navigation>> log)
        : QWidget(parent), m_kind(kind), m_log(std::move(log))
    {}
    QWidget *widget() override { return this; }
    void navigate(const QUrl &address) override { m_log->append({m_kind, address}); }

private:
    ViewerKind m_kind;
    std::shared_ptr<QList<Navigation>> m_log;
};

class FakeViewerFactory final : public HtmlViewerFactory
{
public:
    int created = 0;
    std::shared_ptr<QList<Navigation>> navigations = std::make_shared<QList<Navigation>>();

    HtmlViewer *create(QWidget *parent, ViewerKind kind) override
    {
        ++created;
        return new FakeViewer(parent, kind, navigations);
    }
};

// A Platform of fakes. Keep the raw pointers to look at what the window did; they stay valid
// while the window that took the Platform lives. Exit statuses outlive it.
struct FakePlatform
{
    FakeFileDialog *dialog = nullptr;
    FakeMessageBox *messages = nullptr;
    FakeLauncher *launcher = nullptr;
    FakeViewerFactory *viewers = nullptr;
    std::shared_ptr<QList<int>> exits = std::make_shared<QList<int>>();

    // A Platform with AppDir appDir whose parts are the fakes above.
    Platform make(const QString &appDir)
    {
        Platform platform;
        platform.appDir = appDir;
        auto dialogFake = std::make_unique<FakeFileDialog>();
        auto messagesFake = std::make_unique<FakeMessageBox>();
        auto launcherFake = std::make_unique<FakeLauncher>();
        auto viewersFake = std::make_unique<FakeViewerFactory>();
        dialog = dialogFake.get();
        messages = messagesFake.get();
        launcher = launcherFake.get();
        viewers = viewersFake.get();
        platform.dialog = std::move(dialogFake);
        platform.messages = std::move(messagesFake);
        platform.launcher = std::move(launcherFake);
        platform.viewers = std::move(viewersFake);
        platform.endProcess = [log = exits](int status) {
            log->append(status);
        };
        return platform;
    }
};

} // namespace vornex::fakes
