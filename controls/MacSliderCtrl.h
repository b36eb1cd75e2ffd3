#pragma once
// The skinned trackbar: a horizontal slider with a coloured channel, a selection band, tick
// marks and a thumb, in the three colours its owner gives (COLORREF values).

#include <QSlider>

#include <cstdint>

namespace kz {

class CMacSliderCtrl : public QSlider {
    Q_OBJECT
public:
    explicit CMacSliderCtrl(QWidget *parent = nullptr);

    void SetColour(std::uint32_t colorRef);          // the thumb
    void SetSelectionColour(std::uint32_t colorRef); // the selection band
    void SetChannelColour(std::uint32_t colorRef);   // the channel
    void SetSelection(int from, int to);
    void SetTickFreq(int frames) {
        m_tickFreq = frames > 0 ? frames : 1;
        update();
    }
    int TickFreq() const { return m_tickFreq; }
    int SelectionStart() const { return m_selFrom; }
    int SelectionEnd() const { return m_selTo; }
    // Where the channel lies inside the control; the play controller's buttons start at its
    // left edge.
    QRect ChannelRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

signals:
    // The user has put the thumb somewhere (a click or the end of a drag).
    void Scrolled(int position);

private:
    int ValueAt(int x) const;
    std::int64_t Span() const;

    QColor m_thumb;
    QColor m_selection;
    QColor m_channel;
    int m_selFrom = 0;
    int m_selTo = 0;
    int m_tickFreq = 1;
    bool m_dragging = false;
};

QColor ColourFromRef(std::uint32_t colorRef);

} // namespace kz
