// The code page 932 decoder and encoder. The input is used twice: as bytes to decode, and as
// UTF-16 code units to encode.

#include "fuzz_support.h"
#include "platform/cp932.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void checkDecode(const QByteArray& bytes)
{
    const QString text = Cp932::decode(bytes);
    // One byte or a pair gives one character, an invalid byte one replacement character.
    FUZZ_CHECK(text.size() <= bytes.size());
    bool ascii = true;
    for (char b : bytes)
        ascii = ascii && static_cast<unsigned char>(b) < 0x80;
    if (ascii)
        FUZZ_CHECK(text == QString::fromLatin1(bytes));
    else
        FUZZ_CHECK(!text.isEmpty());

    // Every character the decoder produces has a code, so encoding gives the same text back,
    // the replacement character becoming '?'.
    const QByteArray again = Cp932::encode(text);
    FUZZ_CHECK(again.size() <= 2 * text.size());
    QString expected = text;
    expected.replace(QChar(kReplacement), QLatin1Char('?'));
    const QString round = Cp932::decode(again);
    if (round != expected) {
        FuzzSupport::dump("decoded", text);
        FuzzSupport::dump("after encode and decode", round);
        FUZZ_CHECK(false);
    }
}

void checkEncode(const QString& text)
{
    const QByteArray bytes = Cp932::encode(text);
    FUZZ_CHECK(bytes.size() <= 2 * text.size());
    const QString round = Cp932::decode(bytes);
    // One UTF-16 unit in, one out (a surrogate pair is two units, two '?'): the same one when it
    // has a code of its own, '?' when it has none.
    if (round.size() != text.size()) {
        FuzzSupport::dump("text", text);
        FuzzSupport::dump("after encode and decode", round);
        FUZZ_CHECK(false);
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (round.at(i) == text.at(i))
            continue;
        const QString unit = text.mid(i, 1);
        const QString back = round.mid(i, 1);
        const QByteArray code = Cp932::encode(unit);
        const bool unmappable = back == QLatin1String("?") && code == "?";
        // Some characters share their code with another one (the wave dash with the full-width
        // tilde, 'é' with 'e' as Windows' best fit); the code then reads back as the character
        // the table gives it.
        const bool shared = code != "?" && Cp932::encode(back) == code && Cp932::decode(code) == back;
        if (!unmappable && !shared) {
            FuzzSupport::dump("character", unit);
            FuzzSupport::dump("came back as", round.mid(i, 1));
            FUZZ_CHECK(false);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    checkDecode(bytes);

    QString units(qsizetype(size / 2), Qt::Uninitialized);
    for (size_t i = 0; i + 1 < size; i += 2)
        units[qsizetype(i / 2)] = QChar(char16_t(data[i] | (data[i + 1] << 8)));
    checkEncode(units);
    return 0;
}
