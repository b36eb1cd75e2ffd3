#include "ActionWriter.h"

#include "SwfBits.h"
#include "SwfFraming.h"

namespace kz {

namespace {

// A string in a record: its bytes up to a zero, and the zero.
QByteArray CString(const QByteArray &text) {
    const qsizetype zero = text.indexOf('\0');
    QByteArray out = zero < 0 ? text : text.left(zero);
    out.append('\0');
    return out;
}

} // namespace

ActionWriter &ActionWriter::Record(std::uint8_t code, const QByteArray &body) {
    m_bytes.append(char(code));
    if (code >= 0x80) {
        // A body that does not fit the length field would corrupt every later record.
        if (body.size() > 0xFFFF) {
            m_bytes.chop(1);
            m_failed = true;
            return *this;
        }
        PutLe(m_bytes, std::uint32_t(body.size()), 2);
        m_bytes.append(body);
    }
    return *this;
}

ActionWriter &ActionWriter::PushString(const QByteArray &text) {
    return Record(0x96, QByteArray(1, '\0') + CString(text));
}

ActionWriter &ActionWriter::PushInt(std::int32_t value) {
    QByteArray body(1, char(7));
    PutLe(body, std::uint32_t(value), 4);
    return Record(0x96, body);
}

ActionWriter &ActionWriter::PushNull() {
    return Record(0x96, QByteArray(1, char(2)));
}

ActionWriter &ActionWriter::GetVariable() {
    return Record(0x1C);
}
ActionWriter &ActionWriter::GetMember() {
    return Record(0x4E);
}
ActionWriter &ActionWriter::GetPath(const QByteArray &dotted) {
    const QByteArrayList parts = dotted.split('.');
    PushString(parts.first()).GetVariable();
    for (qsizetype i = 1; i < parts.size(); ++i)
        PushString(parts[i]).GetMember();
    return *this;
}
ActionWriter &ActionWriter::CallMethod() {
    return Record(0x52);
}
ActionWriter &ActionWriter::SetVariable() {
    return Record(0x1D);
}
ActionWriter &ActionWriter::SetMember() {
    return Record(0x4F);
}
ActionWriter &ActionWriter::Add2() {
    return Record(0x47);
}
ActionWriter &ActionWriter::BitOr() {
    return Record(0x61);
}
ActionWriter &ActionWriter::Pop() {
    return Record(0x17);
}
ActionWriter &ActionWriter::Play() {
    return Record(0x06);
}
ActionWriter &ActionWriter::Stop() {
    return Record(0x07);
}

ActionWriter &ActionWriter::GotoFrame2(bool play) {
    return Record(0x9F, QByteArray(1, char(play ? 1 : 0)));
}

ActionWriter &ActionWriter::SetTarget(const QByteArray &target) {
    return Record(0x8B, CString(target));
}

ActionWriter &ActionWriter::GetUrl(const QByteArray &url, const QByteArray &target) {
    return Record(0x83, CString(url) + CString(target));
}

ActionWriter &ActionWriter::GetUrl2() {
    return Record(0x9A, QByteArray(1, '\0'));
}

ActionWriter &ActionWriter::DefineFunction(const QByteArrayList &params, const ActionWriter &body) {
    // The body follows the record; its size is the record's last field.
    if (body.m_bytes.size() > 0xFFFF || params.size() > 0xFFFF) {
        m_failed = true;
        return *this;
    }
    QByteArray head = CString({});
    PutLe(head, std::uint32_t(params.size()), 2);
    for (const QByteArray &p : params)
        head.append(CString(p));
    PutLe(head, std::uint32_t(body.m_bytes.size()), 2);
    Record(0x9B, head);
    m_bytes.append(body.m_bytes);
    m_failed = m_failed || body.m_failed;
    return *this;
}

QByteArray SwfTag(std::uint16_t code, const QByteArray &body) {
    QByteArray out;
    PutTagHeader(out, code, std::uint32_t(body.size()));
    return out + body;
}

QByteArray DoActionTag(const ActionWriter &actions) {
    return SwfTag(kTagDoAction, actions.Finished());
}

} // namespace kz
