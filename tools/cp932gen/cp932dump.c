/* Prints what Windows' own code page 932 conversion does, as text lines of hex numbers:
 *   C <max char size> <default byte(s)> <lead ranges...>        from GetCPInfo
 *   S <byte> : <UTF-16 units...>                               every single byte
 *   P <lead><trail> : <UTF-16 units...>                        every pair whose first byte is 0x80-0xFF
 *   E <code point> : <bytes...> <U if the default char was used>  every BMP code point but surrogates
 *   X <probe name> : <units or bytes...>                       a few longer inputs
 * Decoding uses MultiByteToWideChar(932, 0, ...), encoding WideCharToMultiByte(932, 0, ...) with
 * "?" as the default character, the flags a plain Windows program passes. */
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

static void decode(const char* tag, const unsigned char* in, int n)
{
    WCHAR out[16];
    int i, got = MultiByteToWideChar(932, 0, (LPCSTR)in, n, out, 16);
    printf("%s", tag);
    for (i = 0; i < n; ++i)
        printf(i ? "%02X" : " %02X", in[i]);
    printf(" :");
    if (got <= 0)
        printf(" ERR%lu", GetLastError());
    for (i = 0; i < got; ++i)
        printf(" %04X", out[i]);
    printf("\n");
}

static void encode(const char* tag, const WCHAR* in, int n)
{
    char out[16];
    BOOL used = FALSE;
    int i, got = WideCharToMultiByte(932, 0, in, n, out, 16, "?", &used);
    printf("%s", tag);
    for (i = 0; i < n; ++i)
        printf(i ? ".%04X" : " %04X", in[i]);
    printf(" :");
    if (got <= 0)
        printf(" ERR%lu", GetLastError());
    for (i = 0; i < got; ++i)
        printf(" %02X", (unsigned char)out[i]);
    if (used)
        printf(" U");
    printf("\n");
}

int main(void)
{
    CPINFOEXW info;
    unsigned char b[4];
    WCHAR w[4];
    int i, j;

    _setmode(_fileno(stdout), _O_BINARY);
    if (!GetCPInfoExW(932, 0, &info)) {
        fprintf(stderr, "code page 932 is not installed\n");
        return 1;
    }
    printf("C %u %02X%02X %04X", info.MaxCharSize, info.DefaultChar[0], info.DefaultChar[1], info.UnicodeDefaultChar);
    for (i = 0; i < MAX_LEADBYTES && info.LeadByte[i]; i += 2)
        printf(" %02X-%02X", info.LeadByte[i], info.LeadByte[i + 1]);
    printf("\n");

    for (i = 0; i < 256; ++i) {
        b[0] = (unsigned char)i;
        decode("S", b, 1);
    }
    for (i = 0x80; i < 256; ++i) {
        for (j = 0; j < 256; ++j) {
            b[0] = (unsigned char)i;
            b[1] = (unsigned char)j;
            decode("P", b, 2);
        }
    }
    for (i = 0; i < 0x10000; ++i) {
        if (i >= 0xD800 && i <= 0xDFFF)
            continue;
        w[0] = (WCHAR)i;
        encode("E", w, 1);
    }

    /* Longer inputs: a lone lead byte before ASCII, a lead byte before a byte that cannot
     * follow it, surrogates alone and in pairs. */
    memcpy(b, "\x81\x20\x41", 3);
    decode("X", b, 3);
    memcpy(b, "\x81\x81\x40", 3);
    decode("X", b, 3);
    memcpy(b, "\x85\x40\x41", 3);
    decode("X", b, 3);
    memcpy(b, "\x41\x81", 2);
    decode("X", b, 2);
    w[0] = 0xD83D; w[1] = 0xDE00; w[2] = 'b';
    encode("X", w, 3);
    w[0] = 'a'; w[1] = 0xD800; w[2] = 'b';
    encode("X", w, 3);
    w[0] = 'a'; w[1] = 0xDC00; w[2] = 'b';
    encode("X", w, 3);
    w[0] = 0x74B0; w[1] = 0xD83D;
    encode("X", w, 2);
    return 0;
}
