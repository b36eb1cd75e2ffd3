#include "MyBitmapButton.h"

#include <QPainter>

namespace kz {

CMyBitmapButton::CMyBitmapButton(QWidget *parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
}

bool CMyBitmapButton::LoadImages(const QString &selPath, const QString &upPath) {
    const QPixmap sel(selPath);
    const QPixmap up(upPath);
    SetImages(sel, up);
    return HasImages();
}

void CMyBitmapButton::SetImages(const QPixmap &sel, const QPixmap &up) {
    m_sel = sel;
    m_up = up;
    update();
}

QSize CMyBitmapButton::sizeHint() const {
    return m_up.isNull() ? QSize(48, 40) : m_up.size();
}

void CMyBitmapButton::paintEvent(QPaintEvent *) {
    QPainter p(this);
    const QPixmap &img = isDown() ? m_sel : m_up;
    if (!img.isNull()) {
        p.drawPixmap(rect(), img);
        return;
    }
    p.fillRect(rect(), isDown() ? QColor(160, 160, 160) : QColor(212, 208, 200));
    p.setPen(Qt::black);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.drawText(rect(), Qt::AlignCenter, text());
}

} // namespace kz
