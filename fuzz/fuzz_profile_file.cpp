// The settings file reader and writer on a file of fuzz bytes.
//
// Input: section, key and value (code page 932), each ended by 0xFF, then the file's bytes.
// Names are made usable first: no line breaks, no ']' in the section, no '=' in the key nor
// '[' at its start, no blanks around either, only characters the code page has.

#include "config/settings.h"
#include "fuzz_support.h"
#include "platform/cp932.h"
#include "platform/profile_file.h"
#include "platform/text_encoding.h"

#include <QStringList>

namespace {

using FuzzSupport::isBlank;
using FuzzSupport::trimBlanks;

constexpr int32_t kLargeBuffer = 1 << 20;


// What the reader gives for a stored value: blanks around it and one pair of quotes removed.
QString asRead(const QString& stored)
{
    QString v = trimBlanks(stored);
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v;
}

// The text as the file will hold it, without line breaks.
QString storable(const QString& text)
{
    QString s = Cp932::decode(Cp932::encode(text));
    s.remove(u'\r');
    s.remove(u'\n');
    return s;
}

bool equalsAsciiNoCase(const QString& a, const QString& b)
{
    auto fold = [](QChar c) { return c >= u'A' && c <= u'Z' ? QChar(c.unicode() + 32) : c; };
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (fold(a.at(i)) != fold(b.at(i)))
            return false;
    return true;
}

// Lines with their endings; only a line feed ends a line.
QList<QByteArray> lines(const QByteArray& bytes)
{
    QList<QByteArray> out;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        const qsizetype lf = bytes.indexOf('\n', pos);
        const qsizetype end = lf < 0 ? bytes.size() : lf + 1;
        out.append(bytes.mid(pos, end - pos));
        pos = end;
    }
    return out;
}

QByteArray withoutEnding(QByteArray line)
{
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// After a write of key in section, the file is the old one with at most one line replaced or
// completed with a line ending, and at most the section header and the key line added.
void checkOtherLinesKept(const QByteArray& before, const QByteArray& after, const QString& section,
                         const QString& key, const QString& value)
{
    // Lines are added in the encoding the file was found in, and a byte-order mark stays first.
    const TextEncoding::Kind kind = TextEncoding::detect(before);
    const qsizetype bom = TextEncoding::bomLength(kind);
    FUZZ_CHECK(after.startsWith(before.left(bom)));
    const QList<QByteArray> a = lines(before.mid(bom));
    const QList<QByteArray> b = lines(after.mid(bom));
    qsizetype head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    qsizetype tail = 0;
    while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    const QList<QByteArray> gone = a.mid(head, a.size() - head - tail);
    const QList<QByteArray> added = b.mid(head, b.size() - head - tail);

    const QByteArray keyLine = TextEncoding::encode(kind, key + u'=' + value);
    const QByteArray headerLine = TextEncoding::encode(kind, u'[' + section + u']');
    bool ok = gone.size() <= 1 && added.size() <= 3;
    if (gone.size() == 1) {
        const QString old = TextEncoding::decode(kind, withoutEnding(gone[0]));
        const qsizetype eq = old.indexOf(u'=');
        const bool oldKeyLine = eq >= 0 && equalsAsciiNoCase(trimBlanks(old.left(eq)), key);
        const bool unterminatedLast = head + 1 == a.size() && !gone[0].endsWith('\n');
        ok = ok && (oldKeyLine || unterminatedLast);
    }
    for (const QByteArray& line : added) {
        const QByteArray content = withoutEnding(line);
        // An unterminated last line keeps its bytes and reads the same once a line ending
        // follows it.
        const bool completed = gone.size() == 1 && line.startsWith(gone[0]) && line.endsWith('\n')
            && content == withoutEnding(gone[0]);
        ok = ok && (content == keyLine || content == headerLine || completed);
    }
    if (!ok) {
        std::fprintf(stderr, "removed %lld lines, added %lld lines at line %lld\n",
                     static_cast<long long>(gone.size()), static_cast<long long>(added.size()),
                     static_cast<long long>(head));
        for (const QByteArray& line : gone)
            FuzzSupport::dump("removed", QString::fromLatin1(line));
        for (const QByteArray& line : added)
            FuzzSupport::dump("added", QString::fromLatin1(line));
        FUZZ_CHECK(false);
    }
}

QString readValue(const QString& section, const QString& key, const QString& path)
{
    QString buffer;
    const int32_t n = ProfileFile::GetPrivateProfileString(section, key, QString(), buffer, kLargeBuffer, path);
    FUZZ_CHECK(n == buffer.size());
    return buffer;
}

void checkWriteRead(const QString& path, const QString& section, const QString& key, const QString& value)
{
    const QByteArray before = FuzzSupport::readFile(path);
    FUZZ_CHECK(ProfileFile::WritePrivateProfileString(section, key, value, path) != 0);
    const QByteArray after = FuzzSupport::readFile(path);
    const QString got = readValue(section, key, path);
    // Code page 932 text that is also strict UTF-8, added to a file of ASCII alone, reads back as
    // UTF-8: the one ambiguity of telling the two apart, which the program's own section name
    // (never strict UTF-8 in code page 932) does not meet.
    const bool reread = TextEncoding::detect(after) == TextEncoding::detect(before);
    if (reread && got != asRead(value)) {
        FuzzSupport::dump("wrote", value);
        FuzzSupport::dump("read", got);
        FUZZ_CHECK(false);
    }
    checkOtherLinesKept(before, after, section, key, value);

    // The same write again changes nothing.
    FUZZ_CHECK(ProfileFile::WritePrivateProfileString(section, key, value, path) != 0);
    FUZZ_CHECK(!reread || FuzzSupport::readFile(path) == after);
}

void checkReadHost(const QString& path)
{
    const QString stored = readValue(Settings::kSection, Settings::kKey, path);
    PublicConst pub;
    pub.Pub_IniPath = path;
    Ini_ReadHost(pub);
    FUZZ_CHECK(pub.Pub_IniBuffer.size() == 1024);
    const QString visible = stored.left(1023);
    if (visible.isEmpty()) {
        FUZZ_CHECK(pub.Pub_HostIP == Settings::kDefaultHostIP);
        FUZZ_CHECK(pub.Pub_IniResult != 0);
        FUZZ_CHECK(readValue(Settings::kSection, Settings::kKey, path) == Settings::kDefaultHostIP);
    } else {
        // The caller sees the text before the first NUL, as from a C buffer.
        FUZZ_CHECK(pub.Pub_IniResult == visible.size());
        FUZZ_CHECK(pub.Pub_HostIP == visible.left(visible.indexOf(QChar(u'\0'))));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QList<QByteArray> parts = FuzzSupport::splitRecords(data, size);
    while (parts.size() < 4)
        parts.prepend(QByteArray());
    const QByteArray file = QList<QByteArray>(parts.begin() + 3, parts.end()).join(FuzzSupport::kSeparator);

    QString section = storable(Cp932::decode(parts[0]));
    section.remove(u']');
    section = trimBlanks(section);
    if (section.isEmpty())
        section = Settings::kSection;
    QString key = storable(Cp932::decode(parts[1]));
    key.remove(u'=');
    while (key.startsWith(u'[') || (!key.isEmpty() && isBlank(key.front())))
        key.remove(0, 1);
    key = trimBlanks(key);
    if (key.isEmpty())
        key = Settings::kKey;
    const QString value = storable(Cp932::decode(parts[2]));

    static const QString path = FuzzSupport::scratchFolder() + QStringLiteral("/") + Settings::kFileName;
    FuzzSupport::writeFile(path, file);
    // A file saved as UTF-16 is unreadable to the format: told, and never written into.
    if (file.startsWith("\xFF\xFE") || file.startsWith("\xFE\xFF")) {
        FUZZ_CHECK(ProfileFile::WritePrivateProfileString(section, key, value, path) == 0);
        FUZZ_CHECK(FuzzSupport::readFile(path) == file);
        return 0;
    }

    // Any file reads without harm, and a short buffer gets the start of the value.
    const QString whole = readValue(section, key, path);
    QString shortRead;
    FUZZ_CHECK(ProfileFile::GetPrivateProfileString(section, key, QString(), shortRead, 8, path) <= 7);
    FUZZ_CHECK(whole.startsWith(shortRead));

    checkWriteRead(path, section, key, value);
    // A second key in the same section leaves the first one's value alone.
    const QString otherKey = key + QStringLiteral("_2");
    checkWriteRead(path, section, otherKey, value + QStringLiteral("x"));
    const bool sameKind = TextEncoding::detect(FuzzSupport::readFile(path)) == TextEncoding::detect(file);
    FUZZ_CHECK(!sameKind || readValue(section, key, path) == asRead(value));

    FuzzSupport::writeFile(path, file);
    checkReadHost(path);
    return 0;
}
