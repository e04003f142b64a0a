#include "htmlviewer.h"

#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

namespace vornex {

namespace {

// Keeps a local report local: every request that leaves the file system is refused.
class LocalOnlyInterceptor final : public QWebEngineUrlRequestInterceptor
{
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        const QString scheme = info.requestUrl().scheme();
        if (scheme != QLatin1String("file") && scheme != QLatin1String("data"))
            info.block(true);
    }
};

class WebView final : public QWebEngineView, public HtmlViewer
{
public:
    WebView(QWidget *parent, ViewerKind kind)
        : QWebEngineView(parent),
          // Without a storage name the profile is off the record: nothing reaches the disk.
          m_profile(new QWebEngineProfile(this))
    {
        m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        m_page = new QWebEnginePage(m_profile, this);
        if (kind == ViewerKind::LocalReport) {
            // A report with scripts could otherwise read local files and send them away.
            m_profile->setUrlRequestInterceptor(new LocalOnlyInterceptor(m_profile));
            QWebEngineSettings *settings = m_page->settings();
            settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
            settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
            settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
        }
        setPage(m_page);
    }

    ~WebView() override
    {
        // The page must go before the profile it was made with.
        delete m_page;
    }

    QWidget *widget() override { return this; }
    void navigate(const QUrl &address) override { load(address); }

private:
    QWebEngineProfile *m_profile;
    QWebEnginePage *m_page;
};

} // namespace

} // namespace vornex

extern "C" Q_DECL_EXPORT vornex::HtmlViewer *vornex_create_html_viewer(QWidget *parent, int kind)
{
    // The engine keeps its pages off the accessibility bus on Linux unless this is set when it
    // starts; it builds a page's accessible tree only while a screen reader listens, so the
    // setting costs nothing without one.
    static const char kAccessiblePages[] = "QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY";
    if (!qEnvironmentVariableIsSet(kAccessiblePages))
        qputenv(kAccessiblePages, "1");
    return new vornex::WebView(parent, static_cast<vornex::ViewerKind>(kind));
}
