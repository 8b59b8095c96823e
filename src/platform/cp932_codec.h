#pragma once

#include <cstddef>
#include <string>
#include <string_view>

/// Windows code page 932 conversion on plain buffers, without Qt: the same tables on every OS.
namespace Cp932 {

/// Decodes `size` bytes into `out`, which has room for `size` units; returns the units written.
std::size_t decodeInto(const char* bytes, std::size_t size, char16_t* out);

/// Encodes `size` UTF-16 units into `out`, which has room for 2 * `size` bytes; returns the bytes written.
std::size_t encodeInto(const char16_t* text, std::size_t size, char* out);

/// Decodes code page 932 bytes as Windows does, a sequence without a character becoming U+FFFD.
std::u16string toUtf16(std::string_view bytes);

/// Encodes UTF-16 text as Windows does, each unit without a code becoming '?'.
std::string fromUtf16(std::u16string_view text);

} // namespace Cp932
