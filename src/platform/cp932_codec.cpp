#include "platform/cp932_codec.h"

#include <array>
#include <cstdint>
#include <iterator>

namespace {

// A double-byte row of the table: the characters of one lead byte.
struct PairRow {
    enum Kind : unsigned char { Empty, Run, Listed };
    unsigned char lead;
    Kind kind;
    std::uint16_t value;  // Run: the first character; Listed: the offset into kPairChars
};

struct EncodeException {
    char16_t ch;
    std::uint16_t code;  // one byte below 0x100, else lead and trail
};

#include "platform/cp932_table.inc"

constexpr char16_t kReplacement = 0xFFFD;
constexpr unsigned kFirstTrail = 0x40;
constexpr unsigned kLastTrail = 0xFC;
constexpr std::size_t kTrails = kLastTrail - kFirstTrail + 1;
constexpr std::size_t kRows = std::size(kPairRows);
constexpr unsigned char kNotLead = 0xFF;

static_assert(kRows < kNotLead);

constexpr std::size_t listedRows()
{
    std::size_t n = 0;
    for (const PairRow& row : kPairRows)
        n += row.kind == PairRow::Listed;
    return n;
}
static_assert(std::size(kPairChars) == listedRows() * kTrails + 1, "a listed row has one character per trail byte");

// Both tables are built by the compiler, so they sit in read-only memory: no start-up work, and
// any number of threads may read them.
struct DecodeTable {
    std::array<unsigned char, 256> row{};  // index into pairs, or kNotLead
    std::array<std::array<char16_t, kTrails>, kRows> pairs{};
};

constexpr DecodeTable makeDecodeTable()
{
    DecodeTable t;
    t.row.fill(kNotLead);
    for (std::size_t i = 0; i < kRows; ++i) {
        const PairRow& row = kPairRows[i];
        t.row[row.lead] = static_cast<unsigned char>(i);
        for (std::size_t k = 0; k < kTrails; ++k) {
            const std::size_t trail = kFirstTrail + k;
            char16_t c = kReplacement;
            if (row.kind == PairRow::Listed)
                c = kPairChars[row.value + k];
            else if (row.kind == PairRow::Run && trail != 0x7F)
                c = static_cast<char16_t>(row.value + k - (trail > 0x7F ? 1 : 0));
            t.pairs[i][k] = c;
        }
    }
    return t;
}

// The code of each UTF-16 unit, 0 for none. The rows are inverted in table order, the first
// code of a character winning, then the exceptions are laid over them.
using EncodeTable = std::array<std::uint16_t, 0x10000>;

constexpr EncodeTable makeEncodeTable(const DecodeTable& decode)
{
    EncodeTable t{};
    for (unsigned b = 0x80; b < 0x100; ++b) {
        const char16_t c = kSingleBytes[b];
        if (c != kReplacement && t[c] == 0)
            t[c] = static_cast<std::uint16_t>(b);
    }
    for (std::size_t i = 0; i < kRows; ++i) {
        for (std::size_t k = 0; k < kTrails; ++k) {
            const char16_t c = decode.pairs[i][k];
            if (c != kReplacement && t[c] == 0)
                t[c] = static_cast<std::uint16_t>(kPairRows[i].lead << 8 | (kFirstTrail + k));
        }
    }
    for (const EncodeException& e : kEncodeExceptions)
        t[e.ch] = e.code;
    return t;
}

constexpr DecodeTable kDecode = makeDecodeTable();
constexpr EncodeTable kEncode = makeEncodeTable(kDecode);

} // namespace

namespace Cp932 {

std::size_t decodeInto(const char* bytes, std::size_t size, char16_t* out)
{
    const auto* in = reinterpret_cast<const unsigned char*>(bytes);
    char16_t* o = out;
    std::size_t i = 0;
    while (i < size) {
        const unsigned char b = in[i++];
        if (b < 0x80) {
            *o++ = b;
            continue;
        }
        const unsigned char row = kDecode.row[b];
        if (row == kNotLead) {
            *o++ = kSingleBytes[b];
            continue;
        }
        // As in Windows, a lead byte takes the next byte along whatever it is, so a pair without a
        // character is one U+FFFD; only a NUL or the end leaves the lead byte on its own.
        if (i == size || in[i] == 0) {
            *o++ = kReplacement;
            continue;
        }
        const unsigned char trail = in[i++];
        *o++ = trail >= kFirstTrail && trail <= kLastTrail ? kDecode.pairs[row][trail - kFirstTrail] : kReplacement;
    }
    return std::size_t(o - out);
}

std::size_t encodeInto(const char16_t* text, std::size_t size, char* out)
{
    char* o = out;
    for (std::size_t i = 0; i < size; ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            *o++ = static_cast<char>(c);
            continue;
        }
        // Each unit on its own, as Windows does: a surrogate pair becomes two '?'.
        const std::uint16_t code = kEncode[c];
        if (code == 0) {
            *o++ = '?';
        } else if (code < 0x100) {
            *o++ = static_cast<char>(code);
        } else {
            *o++ = static_cast<char>(code >> 8);
            *o++ = static_cast<char>(code & 0xFF);
        }
    }
    return std::size_t(o - out);
}

std::u16string toUtf16(std::string_view bytes)
{
    std::u16string out(bytes.size(), u'\0');
    out.resize(decodeInto(bytes.data(), bytes.size(), out.data()));
    return out;
}

std::string fromUtf16(std::u16string_view text)
{
    std::string out(2 * text.size(), '\0');
    out.resize(encodeInto(text.data(), text.size(), out.data()));
    return out;
}

} // namespace Cp932
