#pragma once

#include "platform/platform.h"

#include <QLabel>
#include <QUrl>

#include <functional>
#include <vector>

// Stand-ins for the outside world: dialogs, message boxes, process launch and the HTML viewer.
namespace fake {

struct Message
{
    QString title;
    QString text;
};

class MessageBox final : public vornex::MessageBox
{
public:
    explicit MessageBox(std::vector<Message> &log, std::function<void()> &onShow)
        : m_log(log), m_onShow(onShow)
    {}
    void warning(QWidget *, const QString &title, const QString &text) override
    {
        m_log.push_back({title, text});
        if (m_onShow)
            m_onShow();
    }

private:
    std::vector<Message> &m_log;
    std::function<void()> &m_onShow;
};

struct Launch
{
    QString program;
    QStringList arguments;
};

class Launcher final : public vornex::ProcessLauncher
{
public:
    Launcher(std::vector<Launch> &log, QString &failure) : m_log(log), m_failure(failure) {}
    bool startDetached(const QString &program, const QStringList &arguments,
                       QString *error) override
    {
        if (!m_failure.isEmpty()) {
            *error = m_failure;
            return false;
        }
        m_log.push_back({program, arguments});
        return true;
    }

private:
    std::vector<Launch> &m_log;
    QString &m_failure;
};

class FileDialog final : public vornex::FileDialog
{
public:
    void setFileName(const QString &name) override { m_name = name; }
    QString fileName() const override { return m_name; }
    void showOpen(QWidget *) override {}

private:
    QString m_name;
};

class Viewer final : public vornex::HtmlViewer
{
public:
    Viewer(QWidget *parent, std::vector<QUrl> &log) : m_label(new QLabel(parent)), m_log(log) {}
    QWidget *widget() override { return m_label; }
    void navigate(const QUrl &address) override { m_log.push_back(address); }

private:
    QLabel *m_label;
    std::vector<QUrl> &m_log;
};

class ViewerFactory final : public vornex::HtmlViewerFactory
{
public:
    ViewerFactory(int &created, std::vector<vornex::ViewerKind> &kinds, std::vector<QUrl> &log)
        : m_created(created), m_kinds(kinds), m_log(log)
    {}
    vornex::HtmlViewer *create(QWidget *parent, vornex::ViewerKind kind) override
    {
        ++m_created;
        m_kinds.push_back(kind);
        return new Viewer(parent, m_log);
    }

private:
    int &m_created;
    std::vector<vornex::ViewerKind> &m_kinds;
    std::vector<QUrl> &m_log;
};

// What the fakes saw, and how they behave; outlives the window that uses them.
struct World
{
    std::vector<Message> messages;
    std::function<void()> onMessage;
    std::vector<Launch> launches;
    QString launchFailure;
    int viewersCreated = 0;
    std::vector<vornex::ViewerKind> viewerKinds;
    std::vector<QUrl> navigations;
    int exitStatus = -1;

    vornex::Platform platform(const QString &appDir)
    {
        vornex::Platform p;
        p.appDir = appDir;
        p.dialog = std::make_unique<FileDialog>();
        p.messages = std::make_unique<MessageBox>(messages, onMessage);
        p.launcher = std::make_unique<Launcher>(launches, launchFailure);
        p.viewers = std::make_unique<ViewerFactory>(viewersCreated, viewerKinds, navigations);
        p.endProcess = [this](int status) {
            exitStatus = status;
        };
        return p;
    }
};

} // namespace fake
