// Compares the code page 932 conversion with Windows' own: every single byte and every pair
// that starts with a byte from 0x80 up, decoded, and the decoded text encoded again; then every
// UTF-16 unit encoded. A plain program without Qt, run on Windows (or under Wine).

#include "platform/cp932_codec.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace {

constexpr UINT kCodePage = 932;
constexpr char16_t kReplacement = 0xFFFD;
// Windows gives its default character, the same as 81 45, for bytes without a character; we
// give U+FFFD there.
constexpr char16_t kWindowsDefault = 0x30FB;
// JIS forms we encode as their Windows forms, where Windows gives '?'.
constexpr char16_t kJisForms[] = {0x2014, 0x2016, 0x2212, 0x301C};

std::u16string windowsDecode(std::string_view bytes)
{
    wchar_t out[8];
    const int n = MultiByteToWideChar(kCodePage, 0, bytes.data(), int(bytes.size()), out, 8);
    return std::u16string(reinterpret_cast<const char16_t*>(out), std::size_t(n > 0 ? n : 0));
}

std::string windowsEncode(std::u16string_view text)
{
    char out[16];
    const int n = WideCharToMultiByte(kCodePage, 0, reinterpret_cast<const wchar_t*>(text.data()), int(text.size()), out,
                                      sizeof out, "?", nullptr);
    return std::string(out, std::size_t(n > 0 ? n : 0));
}

std::string hex(std::string_view bytes)
{
    std::string s;
    char buf[4];
    for (unsigned char b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X ", b);
        s += buf;
    }
    return s;
}

std::string hex(std::u16string_view text)
{
    std::string s;
    char buf[8];
    for (char16_t c : text) {
        std::snprintf(buf, sizeof buf, "%04X ", unsigned(c));
        s += buf;
    }
    return s;
}

struct Tally {
    long passed = 0;
    long failed = 0;

    template<typename In, typename Out>
    void check(const char* what, const In& in, const Out& got, const Out& want)
    {
        if (got == want) {
            ++passed;
            return;
        }
        if (++failed <= 20)
            std::printf("FAIL %s %s: got %s, Windows %s\n", what, hex(in).c_str(), hex(got).c_str(), hex(want).c_str());
    }
};

void compareBytes(Tally& tally, std::string_view bytes)
{
    std::u16string want = windowsDecode(bytes);
    if (bytes != "\x81\x45") {
        for (char16_t& c : want)
            c = c == kWindowsDefault ? kReplacement : c;
    }
    const std::u16string text = Cp932::toUtf16(bytes);
    tally.check("decode", bytes, text, want);
    tally.check("encode", std::u16string_view(text), Cp932::fromUtf16(text), windowsEncode(text));
}

bool isJisForm(char16_t c)
{
    for (char16_t j : kJisForms) {
        if (c == j)
            return true;
    }
    return false;
}

} // namespace

int main()
{
    Tally tally;
    char bytes[2];
    for (int b = 0; b < 0x100; ++b) {
        bytes[0] = char(b);
        compareBytes(tally, std::string_view(bytes, 1));
        if (b < 0x80)
            continue;
        for (int t = 0; t < 0x100; ++t) {
            bytes[1] = char(t);
            compareBytes(tally, std::string_view(bytes, 2));
        }
    }
    for (unsigned c = 0; c < 0x10000; ++c) {
        const std::u16string unit(1, char16_t(c));
        if (!isJisForm(unit[0]))
            tally.check("encode", std::u16string_view(unit), Cp932::fromUtf16(unit), windowsEncode(unit));
    }
    std::printf("%ld passed, %ld failed\n", tally.passed, tally.failed);
    return tally.failed == 0 ? 0 : 1;
}
