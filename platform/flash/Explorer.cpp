#include "Explorer.h"

#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

namespace kz {

namespace {

class ExplorerPage : public QWebEnginePage {
public:
    ExplorerPage(CExplorer1 *owner, QObject *parent) : QWebEnginePage(parent), m_owner(owner) {}

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override {
        if (!isMainFrame)
            return true;
        bool cancel = false;
        emit m_owner->BeforeNavigate2(url.toString(), &cancel);
        return !cancel;
    }
    // A link that asks for a new window opens in this one, through the same check.
    QWebEnginePage *createWindow(WebWindowType) override { return this; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int,
                                  const QString &) override {}

private:
    CExplorer1 *m_owner;
};

// Lets only local requests through: the page and what it names from the disk.
class LocalOnlyInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo &info) override {
        const QString scheme = info.requestUrl().scheme();
        const bool local = scheme == QLatin1String("file") || scheme == QLatin1String("about") ||
                           scheme == QLatin1String("data");
        if (!local)
            info.block(true);
    }
};

} // namespace

CExplorer1::CExplorer1(QWidget *parent) : BrowserControl(parent) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_web = new QWebEngineView(this);
    m_web->setContextMenuPolicy(Qt::NoContextMenu);
    m_web->setPage(new ExplorerPage(this, m_web));
    layout->addWidget(m_web);
    setFocusProxy(m_web);
}

void CExplorer1::Navigate(const QString &url) {
    const QUrl target = url.startsWith(u'/') ? QUrl::fromLocalFile(url) : QUrl(url);
    m_web->page()->load(target);
}

QString CExplorer1::LocationURL() const {
    return m_web->page()->url().toString();
}

void CExplorer1::SetJavaScriptEnabled(bool on) {
    m_web->page()->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, on);
}

void CExplorer1::SetLocalOnly(bool on) {
    m_localOnly = on;
    QWebEngineSettings *settings = m_web->page()->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, !on);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    if (on) {
        if (!m_interceptor)
            m_interceptor = new LocalOnlyInterceptor(this);
        m_web->page()->setUrlRequestInterceptor(m_interceptor);
    } else {
        m_web->page()->setUrlRequestInterceptor(nullptr);
    }
}

QWebEnginePage *CExplorer1::Page() const {
    return m_web->page();
}

} // namespace kz
