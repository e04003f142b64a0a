#pragma once

#include <QUrl>

#include <memory>

class QWidget;

namespace vornex {

// An embedded HTML viewer: a widget that loads an address in the background.
class HtmlViewer
{
public:
    virtual ~HtmlViewer() = default;
    // The viewer's widget: the viewer itself, owned by the parent it was created with, so that
    // it goes with its window.
    virtual QWidget *widget() = 0;
    // Starts loading address and returns at once.
    virtual void navigate(const QUrl &address) = 0;
};

// What a viewer is for: a local report is shown without scripts and without remote access.
enum class ViewerKind { LocalReport, WebPage };

// Creates viewers; the real one loads the browser engine only on the first creation.
class HtmlViewerFactory
{
public:
    virtual ~HtmlViewerFactory() = default;
    // A new viewer whose widget is a child of parent.
    virtual HtmlViewer *create(QWidget *parent, ViewerKind kind) = 0;
};

// Loads the viewer module from folder the first time a viewer is created.
std::unique_ptr<HtmlViewerFactory> makeModuleViewerFactory(const QString &folder);

} // namespace vornex

// The entry point of the viewer module.
extern "C" {
using VornexCreateHtmlViewer = vornex::HtmlViewer *(*)(QWidget *parent, int kind);
}
