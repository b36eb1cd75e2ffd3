#include "MacSliderCtrl.h"

#include <cstdint>

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace kz {

namespace {
constexpr int kMargin = 8; // from the control's sides to the channel
constexpr int kThumbWidth = 10;
constexpr int kMaxTicks = 200; // more ticks than this are drawn as a band of fewer
} // namespace

QColor ColourFromRef(std::uint32_t c) {
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

CMacSliderCtrl::CMacSliderCtrl(QWidget *parent) : QSlider(Qt::Horizontal, parent) {
    setFocusPolicy(Qt::NoFocus);
    m_thumb = QColor(128, 128, 128);
    m_selection = QColor(180, 180, 220);
    m_channel = QColor(200, 200, 200);
}

void CMacSliderCtrl::SetColour(std::uint32_t c) {
    m_thumb = ColourFromRef(c);
    update();
}

void CMacSliderCtrl::SetSelectionColour(std::uint32_t c) {
    m_selection = ColourFromRef(c);
    update();
}

void CMacSliderCtrl::SetChannelColour(std::uint32_t c) {
    m_channel = ColourFromRef(c);
    update();
}

void CMacSliderCtrl::SetSelection(int from, int to) {
    m_selFrom = std::min(from, to);
    m_selTo = std::max(from, to);
    update();
}

QRect CMacSliderCtrl::ChannelRect() const {
    const int h = 4;
    return QRect(kMargin, height() / 2 - h / 2, std::max(0, width() - 2 * kMargin), h);
}

int CMacSliderCtrl::ValueAt(int x) const {
    const QRect ch = ChannelRect();
    if (ch.width() <= 0 || maximum() <= minimum())
        return minimum();
    const double t = std::clamp(double(x - ch.left()) / ch.width(), 0.0, 1.0);
    return int(std::int64_t(minimum()) + std::llround(t * double(Span())));
}

// 64 bits: any int range, up to the whole of it.
std::int64_t CMacSliderCtrl::Span() const {
    return std::int64_t(maximum()) - minimum();
}

void CMacSliderCtrl::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) {
        QSlider::mousePressEvent(event);
        return;
    }
    m_dragging = true;
    setSliderDown(true);
    setSliderPosition(ValueAt(int(event->position().x())));
}

void CMacSliderCtrl::mouseMoveEvent(QMouseEvent *event) {
    if (m_dragging)
        setSliderPosition(ValueAt(int(event->position().x())));
}

void CMacSliderCtrl::mouseReleaseEvent(QMouseEvent *event) {
    if (!m_dragging || event->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    setSliderPosition(ValueAt(int(event->position().x())));
    setSliderDown(false);
    setValue(sliderPosition());
    emit Scrolled(value());
}

void CMacSliderCtrl::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect ch = ChannelRect();
    // 64 bits throughout: any int range, up to the whole of it, draws in bounded work.
    const std::int64_t span = std::max<std::int64_t>(1, Span());
    auto xOf = [&](std::int64_t v) {
        const std::int64_t in = std::clamp<std::int64_t>(v, minimum(), maximum()) - minimum();
        return ch.left() + int(double(in) * ch.width() / double(span));
    };
    // Ticks below the channel, thinned to what the width can show.
    p.setPen(palette().color(QPalette::Mid));
    std::int64_t step = std::max(1, m_tickFreq);
    while (span / step > kMaxTicks)
        step *= 2;
    for (std::int64_t v = minimum(); v <= maximum(); v += step)
        p.drawLine(xOf(v), ch.bottom() + 6, xOf(v), ch.bottom() + 9);
    p.setPen(Qt::NoPen);
    p.setBrush(m_channel);
    p.drawRoundedRect(ch, 2, 2);
    if (m_selTo > m_selFrom) {
        p.setBrush(m_selection);
        p.drawRect(QRect(QPoint(xOf(m_selFrom), ch.top()), QPoint(xOf(m_selTo), ch.bottom())));
    }
    const int x = xOf(value());
    p.setBrush(m_thumb);
    p.setPen(m_thumb.darker(140));
    p.drawRoundedRect(QRect(x - kThumbWidth / 2, ch.center().y() - 8, kThumbWidth, 16), 3, 3);
}

} // namespace kz
