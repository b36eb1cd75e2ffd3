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

    void SetURL(const QString &url) {
        m_url = url;
        m_refusal.clear();
    }
    QString GetURL() const { return m_url; }
    // A link that is not to be opened (its text came from an untrusted file): a click reports
    // the reason instead, and the label no longer looks like a link.
    void Refuse(const QString &reason);
    bool Refused() const { return !m_refusal.isEmpty(); }

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
    void SetLinkLook(bool link);

    QString m_url;
    QString m_refusal;
};

} // namespace kz
