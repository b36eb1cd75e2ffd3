#pragma once
// The browser control (`CExplorer1`) on Qt WebEngine: Navigate, and BeforeNavigate2 with its
// cancel flag for every navigation of the top frame.

#include "platform/flash/FlashControl.h"

class QWebEngineView;
class QWebEnginePage;
class QWebEngineUrlRequestInterceptor;

namespace kz {

class CExplorer1 : public BrowserControl {
    Q_OBJECT
public:
    explicit CExplorer1(QWidget *parent = nullptr);

    // An absolute local path, a file: address or a web address.
    void Navigate(const QString &url) override;
    QString LocationURL() const override;
    // Pages built from remote text are shown with their scripts off.
    void SetJavaScriptEnabled(bool on);
    void SetLocalOnly(bool on) override;
    bool LocalOnly() const { return m_localOnly; }
    QWebEnginePage *Page() const;

private:
    QWebEngineView *m_web = nullptr;
    bool m_localOnly = false;
    QWebEngineUrlRequestInterceptor *m_interceptor = nullptr;
};

} // namespace kz
