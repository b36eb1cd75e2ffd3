#pragma once
// A button drawn from two images: the "up" image normally and the "sel" image while pressed.
// Without images it draws its caption on a plain face, so a missing skin still works.

#include <QAbstractButton>
#include <QPixmap>

namespace kz {

class CMyBitmapButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CMyBitmapButton(QWidget *parent = nullptr);

    // Loads the two images; false when either cannot be read (the button then draws its text).
    bool LoadImages(const QString &selPath, const QString &upPath);
    void SetImages(const QPixmap &sel, const QPixmap &up);
    bool HasImages() const { return !m_up.isNull() && !m_sel.isNull(); }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_sel;
    QPixmap m_up;
};

} // namespace kz
