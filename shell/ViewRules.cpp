#include "ViewRules.h"

namespace kz {

bool ZoomInEnabled(int percent) {
    return percent != 20;
}
bool ZoomOutEnabled(int percent) {
    return percent != 0 && percent != 100;
}

int ZoomInStep(int percent) {
    if (!ZoomInEnabled(percent))
        return percent;
    if (percent == 0)
        percent = 100;
    return percent - 20;
}

int ZoomOutStep(int percent) {
    if (!ZoomOutEnabled(percent))
        return percent;
    return percent == 80 ? 0 : percent + 20;
}

bool IsSwfLinkToPlay(const QString &url) {
    if (url == u"about:blank")
        return false;
    const QString last = url.mid(url.lastIndexOf(u'/') + 1);
    if (last == u"bindex.html")
        return false;
    const int dot = last.lastIndexOf(u'.');
    return dot >= 0 && last.mid(dot + 1).toLower() == u"swf";
}

QColor EraseColour(bool firstEraseOfProcess, std::uint32_t colorRef) {
    return firstEraseOfProcess ? QColor(Qt::white) : FromColorRef(colorRef);
}

QColor FromColorRef(std::uint32_t c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

std::uint32_t ToColorRef(const QColor &colour) {
    return std::uint32_t(colour.red()) | (std::uint32_t(colour.green()) << 8) |
           (std::uint32_t(colour.blue()) << 16);
}

std::uint32_t InvertColorRef(std::uint32_t colorRef) {
    return ~colorRef & 0xFFFFFF;
}

QString TrayTip(const QString &text) {
    return text.left(127);
}

} // namespace kz
