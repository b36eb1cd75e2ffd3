#include "SwfFraming.h"

#include "ByteSource.h"
#include "SwfLzma.h"
#include "SwfTagCodes.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace kz {

bool IsSwfSignature(const std::uint8_t *bytes, char first) {
    return bytes[0] == std::uint8_t(first) && bytes[1] == 'W' && bytes[2] == 'S';
}

TagHeaderRead ReadTagHeader(ByteSource &source, TagHeader &header) {
    std::uint8_t head[4];
    if (!source.Read(head, 2))
        return TagHeaderRead::NoHeader;
    const std::uint16_t value = Le16(head);
    header.code = value >> 6;
    header.length = value & kTagShortLengthMax;
    if (header.length == kTagShortLengthMax) {
        if (!source.Read(head, 4))
            return TagHeaderRead::Truncated;
        header.length = Le32(head);
    }
    return TagHeaderRead::Ok;
}

void PutTagHeader(QByteArray &out, std::uint16_t code, std::uint32_t length, bool longForm) {
    if (longForm || length >= kTagShortLengthMax) {
        PutLe(out, (std::uint32_t(code) << 6) | kTagShortLengthMax, 2);
        PutLe(out, length, 4);
    } else {
        PutLe(out, (std::uint32_t(code) << 6) | length, 2);
    }
}

bool ReadMovieBodyHeader(ByteSource &source, MovieBodyHeader &header) {
    const auto rect = ReadRect(source);
    if (!rect)
        return false;
    std::uint8_t b[4];
    if (!source.Read(b, 4))
        return false;
    header.stage = *rect;
    header.rateFraction = b[0];
    header.rateInteger = b[1];
    header.frameCount = Le16(b + 2);
    return true;
}

QByteArray MovieBodyHeaderBytes(const MovieBodyHeader &header) {
    QByteArray out = RectBytes(header.stage, header.rectFieldBits);
    out.append(char(header.rateFraction)).append(char(header.rateInteger));
    PutLe(out, header.frameCount, 2);
    return out;
}

std::size_t InflateBodyStart(bool lzma, const std::uint8_t *body, std::size_t count,
                             std::uint8_t *out, std::size_t capacity) {
    if (body == nullptr || out == nullptr || capacity == 0)
        return 0;
    if (lzma) {
        constexpr std::size_t kFieldsBytes = kLzmaSwfHeaderBytes - kSwfHeaderBytes;
        if (count <= kFieldsBytes)
            return 0;
        std::size_t produced = 0;
        // The bytes at hand usually end inside the data: what decoded up to there counts.
        if (DecodeLzma(body + 4, body + kFieldsBytes, count - kFieldsBytes, out, capacity,
                       produced) == LzmaEnd::Damaged)
            return 0;
        return produced;
    }
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return 0;
    zs.next_in = const_cast<Bytef *>(body);
    zs.avail_in = uInt(std::min<std::size_t>(count, UINT_MAX));
    zs.next_out = out;
    zs.avail_out = uInt(std::min<std::size_t>(capacity, UINT_MAX));
    const int rc = inflate(&zs, Z_NO_FLUSH);
    const std::size_t produced = std::size_t(zs.total_out);
    inflateEnd(&zs);
    return rc == Z_OK || rc == Z_STREAM_END ? produced : 0;
}

QByteArray ZlibCompress(const QByteArray &bytes, int level) {
    uLongf cap = compressBound(uLong(bytes.size()));
    QByteArray out(qsizetype(cap), '\0');
    if (compress2(reinterpret_cast<Bytef *>(out.data()), &cap,
                  reinterpret_cast<const Bytef *>(bytes.constData()), uLong(bytes.size()),
                  level) != Z_OK)
        return {};
    out.resize(qsizetype(cap));
    return out;
}

QByteArray MovieBytes(char signature, std::uint8_t version, std::uint32_t declaredLength,
                      const QByteArray &body, int zlibLevel) {
    QByteArray out;
    out.append(signature).append("WS").append(char(version));
    PutLe(out, declaredLength, 4);
    return out + (signature == 'C' ? ZlibCompress(body, zlibLevel) : body);
}

} // namespace kz
