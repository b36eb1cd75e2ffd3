#pragma once
// A static text that opens its link through the desktop when clicked; when that fails it says
// "Unable to open hyperlink:" with the reason.

#include <QLabel>

#include <functional>

namespace kz {

class CHyperLink : public QLabel {
    Q_OBJECT
public:
    explicit CHyperLink(QWidget *parent = nullptr);

    void SetURL(const QString &url) { m_url = url; }
    QString GetURL() const { return m_url; }

    // Opens a link; returns an empty text on success, else the reason it failed. The desktop's
    // opener by default; tests replace it.
    using Opener = std::function<QString(const QString &url)>;
    static void SetOpener(Opener opener);
    static QString OpenWithDesktop(const QString &url);
    // How a failure is reported (a message box by default).
    std::function<void(const QString &text)> m_report;

    // Follows the link as a click does; false when it could not be opened.
    bool GotoURL();

signals:
    void Clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QString m_url;
};

} // namespace kz
