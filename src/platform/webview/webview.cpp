#include "htmlviewer.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QPointer>
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

// The page as a screen reader reads it: its text in lines, and a caret that the keys which move
// the view by lines move along them. Qt WebEngine gives a screen reader text only where a page
// is editable, so Orca would find nothing to read in a report, neither all of it nor line by
// line. The text is fetched only while a screen reader listens.
class PageText : public QObject, public QAccessible::ActivationObserver
{
public:
    PageText(QWebEnginePage *page, QObject *parent) : QObject(parent), m_page(page)
    {
        QAccessible::installActivationObserver(this);
        connect(page, &QWebEnginePage::loadFinished, this, &PageText::fetch);
    }
    ~PageText() override { QAccessible::removeActivationObserver(this); }

    const QString &text() const { return m_text; }
    int caret() const { return m_caret; }
    void setCaret(int offset) { m_caret = std::clamp<int>(offset, 0, m_text.size()); }

    // The line that holds offset, its line break included.
    void line(int offset, int *start, int *end) const
    {
        *start = offset > 0 ? int(m_text.lastIndexOf(u'\n', offset - 1)) + 1 : 0;
        const qsizetype lf = m_text.indexOf(u'\n', offset);
        *end = lf < 0 ? int(m_text.size()) : int(lf) + 1;
    }

    // Moves the caret as key moves the view by lines; whether it moved.
    bool follow(const QKeyEvent *key)
    {
        int start, end;
        line(m_caret, &start, &end);
        const int before = m_caret;
        if (key->key() == Qt::Key_Down && end < m_text.size())
            m_caret = end;
        else if (key->key() == Qt::Key_Up && start > 0)
            line(start - 1, &m_caret, &end);
        else if (key->key() == Qt::Key_Home && key->modifiers() == Qt::ControlModifier)
            m_caret = 0;
        else if (key->key() == Qt::Key_End && key->modifiers() == Qt::ControlModifier)
            line(m_text.size(), &m_caret, &end);
        return m_caret != before;
    }

    void accessibilityActiveChanged(bool active) override
    {
        if (active)
            fetch();
    }

private:
    void fetch()
    {
        m_caret = 0;
        if (!QAccessible::isActive())
            return;
        // The page answers even while it is destroyed, and then with nothing.
        m_page->toPlainText([self = QPointer<PageText>(this)](const QString &text) {
            if (self)
                self->m_text = text;
        });
    }

    QWebEnginePage *m_page;
    QString m_text;
    int m_caret = 0;
};

// The viewer, and the engine's widget inside it that has the focus, read as a document of the
// page's text. The engine's own objects hold no text and no place on the screen that Orca can
// read, and leave it nothing to read in the page, so they are not shown below it; they still
// tell of their own focus, as a link does.
class PageTextAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    PageTextAccessible(QWidget *widget, QWebEngineView *view, PageText *text)
        : QAccessibleWidget(widget, QAccessible::Document), m_view(view), m_text(text)
    {}

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.multiLine = true;
        state.selectableText = true;
        return state;
    }
    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Name && m_view)
            return m_view->accessibleName().isEmpty() ? m_view->title() : m_view->accessibleName();
        return QAccessibleWidget::text(type);
    }
    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }

    // QAccessibleTextInterface: the text, read only, with no selection and no geometry.
    void selection(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return m_text ? m_text->caret() : 0; }
    void setCursorPosition(int position) override
    {
        if (m_text)
            m_text->setCaret(position);
    }
    QString text(int startOffset, int endOffset) const override
    {
        return m_text ? m_text->text().mid(startOffset, endOffset - startOffset) : QString();
    }
    int characterCount() const override { return m_text ? m_text->text().size() : 0; }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }
    // Lines are the page's; QAccessibleTextInterface's own answer is the whole text.
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                         int *endOffset) const override
    {
        if (type != QAccessible::LineBoundary || offset < 0 || offset > characterCount())
            return QAccessibleTextInterface::textAtOffset(offset, type, startOffset, endOffset);
        return line(offset, 0, startOffset, endOffset);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                             int *endOffset) const override
    {
        if (type != QAccessible::LineBoundary || offset < 0 || offset > characterCount())
            return QAccessibleTextInterface::textBeforeOffset(offset, type, startOffset, endOffset);
        return line(offset, -1, startOffset, endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                            int *endOffset) const override
    {
        if (type != QAccessible::LineBoundary || offset < 0 || offset > characterCount())
            return QAccessibleTextInterface::textAfterOffset(offset, type, startOffset, endOffset);
        return line(offset, 1, startOffset, endOffset);
    }

private:
    // The line at offset, or the one before (step -1) or after it (1), empty past either end.
    QString line(int offset, int step, int *start, int *end) const
    {
        *start = *end = 0;
        if (!m_text)
            return {};
        m_text->line(offset, start, end);
        if (step < 0 && *start > 0)
            m_text->line(*start - 1, start, end);
        else if (step > 0 && *end < characterCount())
            m_text->line(*end, start, end);
        else if (step != 0)
            *start = *end = step < 0 ? 0 : characterCount();
        return text(*start, *end);
    }

    QPointer<QWebEngineView> m_view;
    // The viewer's, which goes before the engine's widget inside it.
    QPointer<PageText> m_text;
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
        m_text = new PageText(m_page, this);
    }

    ~WebView() override
    {
        // The page must go before the profile it was made with.
        delete m_page;
    }

    QWidget *widget() override { return this; }
    void navigate(const QUrl &address) override { load(address); }

    // The accessible interface of a viewer, null for any other object (an object that is being
    // destroyed is no longer one).
    static QAccessibleInterface *accessible(const QString &, QObject *object)
    {
        auto *view = dynamic_cast<WebView *>(object);
        return view ? new PageTextAccessible(view, view, view->m_text) : nullptr;
    }

protected:
    // The focus is in the engine's widget inside, which the engine makes, with an interface of
    // its own, whenever its renderer starts.
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::ChildAdded)
            static_cast<QChildEvent *>(event)->child()->installEventFilter(this);
        return QWebEngineView::event(event);
    }
    // As it takes the focus, before a screen reader hears of it, that widget reads as the page's
    // text; the keys that reach it move the caret.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == focusProxy()) {
            if (event->type() == QEvent::FocusIn)
                readAsText(focusProxy());
            if (event->type() == QEvent::KeyPress && QAccessible::isActive() &&
                m_text->follow(static_cast<QKeyEvent *>(event))) {
                QAccessibleTextCursorEvent moved(watched, m_text->caret());
                QAccessible::updateAccessibility(&moved);
            }
        }
        return QWebEngineView::eventFilter(watched, event);
    }

private:
    void readAsText(QWidget *focus)
    {
        QAccessibleInterface *own = QAccessible::queryAccessibleInterface(focus);
        if (dynamic_cast<PageTextAccessible *>(own))
            return;
        if (own)
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(own));
        QAccessible::registerAccessibleInterface(new PageTextAccessible(focus, this, m_text));
    }

    QWebEngineProfile *m_profile;
    QWebEnginePage *m_page;
    PageText *m_text;
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
    auto *view = new vornex::WebView(parent, static_cast<vornex::ViewerKind>(kind));
    // The engine's own factory, which its first view installs, answers for every view; Qt asks
    // the factory installed last first. This module, loaded on demand, links none of the IDE's
    // libraries, and Qt installs a factory once however often it is asked to.
    QAccessible::installFactory(vornex::WebView::accessible);
    return view;
}
