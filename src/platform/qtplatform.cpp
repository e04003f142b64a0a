#include "platform.h"

#include "appearance.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLibrary>
#include <QMessageBox>
#include <QOpenGLContext>
#include <QProcess>

#include <cstdio>
#include <cstdlib>

// Exported by Qt GUI without a public header; the browser engine declares them the same way.
QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);
Q_GUI_EXPORT QOpenGLContext *qt_gl_global_share_context();
QT_END_NAMESPACE

namespace vornex {

namespace {

// The browser engine renders through OpenGL contexts shared with a global one. Creating that
// context at start (Qt::AA_ShareOpenGLContexts) loads the whole OpenGL stack before the main
// window appears, so it is created here, just before the engine is first loaded.
void createSharedOpenGLContext()
{
    if (qt_gl_global_share_context())
        return;
    auto *context = new QOpenGLContext(QCoreApplication::instance());
    context->setFormat(QSurfaceFormat::defaultFormat());
    context->create();
    qt_gl_set_global_share_context(context);
}

// A name typed with wildcards selects which files the dialog lists, as the desktop's own file
// dialogs do, instead of being taken as the name of a file: confirming the preset "*.vornex"
// must never create a file of that name.
class PatternFileDialog final : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        const QString name = QFileInfo(selectedFiles().value(0)).fileName();
        if (name.contains(u'*') || name.contains(u'?')) {
            setNameFilter(name);
            return;
        }
        QFileDialog::accept();
    }
};

class QtFileDialog final : public FileDialog
{
public:
    void setFileName(const QString &name) override { m_fileName = name; }
    QString fileName() const override { return m_fileName; }

    void showOpen(QWidget *parent) override
    {
        PatternFileDialog dialog(parent, QStringLiteral("Vor Source File"));
        // Qt's own dialog behaves the same on every desktop and can be driven by tests.
        dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(QStringLiteral("*.vornex"));
        dialog.selectFile(m_fileName);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            m_fileName = dialog.selectedFiles().constFirst();
    }

private:
    QString m_fileName;
};

class QtMessageBox final : public MessageBox
{
public:
    void warning(QWidget *parent, const QString &title, const QString &text) override
    {
        QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
        box.setWindowIcon(applicationIcon());
        box.exec();
    }
};

class QtProcessLauncher final : public ProcessLauncher
{
public:
    bool startDetached(const QString &program, const QStringList &arguments,
                       QString *error) override
    {
        QProcess process;
        process.setProgram(program);
        process.setArguments(arguments);
        if (process.startDetached())
            return true;
        if (error)
            *error = process.errorString();
        return false;
    }
};

// Stands in for the viewer when its module cannot be loaded, so that the window still opens and
// says why it is empty.
class MissingViewer final : public QLabel, public HtmlViewer
{
public:
    MissingViewer(QWidget *parent, const QString &reason)
        : QLabel(QStringLiteral("The HTML viewer could not be loaded: ") + reason, parent)
    {
        setWordWrap(true);
    }
    QWidget *widget() override { return this; }
    void navigate(const QUrl &) override {}
};

class ModuleViewerFactory final : public HtmlViewerFactory
{
public:
    explicit ModuleViewerFactory(const QString &folder)
        : m_library(folder + QStringLiteral("/libvornex-webview"))
    {}

    HtmlViewer *create(QWidget *parent, ViewerKind kind) override
    {
        if (!m_create) {
            createSharedOpenGLContext();
            m_create = reinterpret_cast<VornexCreateHtmlViewer>(
                m_library.resolve("vornex_create_html_viewer"));
        }
        if (!m_create)
            return new MissingViewer(parent, m_library.errorString());
        return m_create(parent, static_cast<int>(kind));
    }

private:
    QLibrary m_library;
    VornexCreateHtmlViewer m_create = nullptr;
};

} // namespace

std::unique_ptr<FileDialog> makeQtFileDialog()
{
    return std::make_unique<QtFileDialog>();
}

std::unique_ptr<MessageBox> makeQtMessageBox()
{
    return std::make_unique<QtMessageBox>();
}

std::unique_ptr<ProcessLauncher> makeQtProcessLauncher()
{
    return std::make_unique<QtProcessLauncher>();
}

std::unique_ptr<HtmlViewerFactory> makeModuleViewerFactory(const QString &folder)
{
    return std::make_unique<ModuleViewerFactory>(folder);
}

QString appDirFile(const QString &appDir, const QString &name)
{
    return appDir + QLatin1Char('/') + name;
}

Platform makeDesktopPlatform()
{
    Platform platform;
    platform.appDir = QCoreApplication::applicationDirPath();
    platform.dialog = makeQtFileDialog();
    platform.messages = makeQtMessageBox();
    platform.launcher = makeQtProcessLauncher();
    platform.viewers = makeModuleViewerFactory(platform.appDir);
    platform.endProcess = [](int status) {
        std::fflush(nullptr);
        std::_Exit(status);
    };
    return platform;
}

} // namespace vornex
