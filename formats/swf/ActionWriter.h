#pragma once
// ActionScript 1/2 byte code: the few action records the player adds to a movie so the engine
// reports frames and takes go-to, play and stop. Records are written as the format lays them
// out: a code byte, and for codes from 0x80 a 16-bit length and the body.

#include "SwfTagCodes.h"

#include <QByteArray>
#include <QByteArrayList>

#include <cstdint>

namespace kz {

class ActionWriter {
public:
    // ActionPush of one value each.
    ActionWriter &PushString(const QByteArray &text);
    ActionWriter &PushInt(std::int32_t value);
    ActionWriter &PushNull();
    ActionWriter &GetVariable();
    ActionWriter &GetMember();
    // Pushes the value a dotted path names ("flash.external.ExternalInterface").
    ActionWriter &GetPath(const QByteArray &dotted);
    // Pops the method name, the object, the argument count and the arguments.
    ActionWriter &CallMethod();
    // Pops the value and the name.
    ActionWriter &SetVariable();
    // Pops the value, the member's name and the object.
    ActionWriter &SetMember();
    // Pops two values and pushes their sum (numbers) or concatenation (a string among them).
    ActionWriter &Add2();
    ActionWriter &BitOr();
    ActionWriter &Pop();
    ActionWriter &Play();
    ActionWriter &Stop();
    // ActionGotoFrame2: the frame (1-based, or a label) from the stack.
    ActionWriter &GotoFrame2(bool play);
    // ActionSetTarget: "" returns to the original target.
    ActionWriter &SetTarget(const QByteArray &target);
    // ActionGetURL with literal strings ("FSCommand:name" makes an fscommand).
    ActionWriter &GetUrl(const QByteArray &url, const QByteArray &target);
    // ActionGetURL2 (method 0) with the URL and the target from the stack; a "_levelN" target
    // loads a movie into that level.
    ActionWriter &GetUrl2();
    // ActionDefineFunction without a name: pushes the function.
    ActionWriter &DefineFunction(const QByteArrayList &params, const ActionWriter &body);

    // A record that did not fit its length field was left out.
    bool Failed() const { return m_failed; }
    const QByteArray &Bytes() const { return m_bytes; }
    // The records and the end-of-actions byte.
    QByteArray Finished() const { return m_bytes + '\0'; }

private:
    ActionWriter &Record(std::uint8_t code, const QByteArray &body = {});
    QByteArray m_bytes;
    bool m_failed = false;
};

// A tag with its header (short form below 63 bytes, long form otherwise).
QByteArray SwfTag(std::uint16_t code, const QByteArray &body);
// A DoAction tag holding the writer's records.
QByteArray DoActionTag(const ActionWriter &actions);

} // namespace kz
