#include "platform/profile_file.h"

#include "platform/file_access.h"
#include "platform/text_encoding.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <optional>

namespace {

// One line of the file as raw bytes. The decoded text is kept apart so that a line we do not
// change is written back from its original bytes, whatever they decode to.
struct Line {
    qsizetype begin = 0;       ///< first byte of the line
    qsizetype contentEnd = 0;  ///< first byte of the line ending (or the end of the file)
    qsizetype end = 0;         ///< first byte after the line ending
    QString text;              ///< the content, decoded
};

// The file as lines, in the encoding it was found in.
struct Parsed {
    TextEncoding::Kind encoding = TextEncoding::Kind::Cp932;
    QList<Line> lines;
};

// CP932 trail bytes never take the values 0x0A or 0x0D, so splitting the raw bytes at LF and
// decoding each line reads the same text as decoding the whole file first; what must not
// happen is looking for '[', '=' or ']' in the raw bytes, where they can be trail bytes. A
// byte-order mark stays before the first line, so that line can be replaced without it.
Parsed parse(const QByteArray& bytes)
{
    Parsed parsed;
    parsed.encoding = TextEncoding::detect(bytes);
    qsizetype pos = TextEncoding::bomLength(parsed.encoding);
    while (pos < bytes.size()) {
        Line line;
        line.begin = pos;
        qsizetype lf = bytes.indexOf('\n', pos);
        line.end = lf < 0 ? bytes.size() : lf + 1;
        line.contentEnd = lf < 0 ? bytes.size() : lf;
        if (line.contentEnd > line.begin && bytes.at(line.contentEnd - 1) == '\r')
            --line.contentEnd;
        line.text = TextEncoding::decode(parsed.encoding, bytes.mid(line.begin, line.contentEnd - line.begin));
        parsed.lines.append(line);
        pos = line.end;
    }
    return parsed;
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QString trimBlanks(const QString& s)
{
    qsizetype from = 0;
    qsizetype to = s.size();
    while (from < to && isBlank(s.at(from)))
        ++from;
    while (to > from && isBlank(s.at(to - 1)))
        --to;
    return s.mid(from, to - from);
}

// The profile functions fold only the ASCII letters; other characters must match exactly.
bool equalsAsciiNoCase(const QString& a, const QString& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a.at(i).unicode();
        char16_t y = b.at(i).unicode();
        if (x >= u'A' && x <= u'Z')
            x = char16_t(x + 32);
        if (y >= u'A' && y <= u'Z')
            y = char16_t(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

/// The section name when the line is a section header.
std::optional<QString> sectionName(const QString& text)
{
    const QString t = trimBlanks(text);
    if (!t.startsWith(u'['))
        return std::nullopt;
    qsizetype close = t.indexOf(u']', 1);
    if (close < 0)
        close = t.size();
    return trimBlanks(t.mid(1, close - 1));
}

/// The key and raw value when the line is a key line.
std::optional<std::pair<QString, QString>> keyValue(const QString& text)
{
    const qsizetype eq = text.indexOf(u'=');
    if (eq < 0)
        return std::nullopt;
    return std::make_pair(trimBlanks(text.left(eq)), text.mid(eq + 1));
}

QString cleanValue(const QString& raw)
{
    QString v = trimBlanks(raw);
    if (v.size() >= 2 && v.front() == v.back() && (v.front() == u'"' || v.front() == u'\''))
        v = v.mid(1, v.size() - 2);
    return v;
}

// Where the section and the key stand in the file.
struct Place {
    qsizetype header = -1;       ///< index of the section header line
    qsizetype key = -1;          ///< index of the key line
    qsizetype lastContent = -1;  ///< index of the section's last non-blank line
};

Place locate(const QList<Line>& lines, const QString& section, const QString& key)
{
    Place place;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto name = sectionName(lines.at(i).text);
        if (!name || !equalsAsciiNoCase(*name, section))
            continue;
        // The first section of that name counts; it ends at the next header.
        place.header = i;
        place.lastContent = i;
        for (qsizetype j = i + 1; j < lines.size() && !sectionName(lines.at(j).text); ++j) {
            if (!trimBlanks(lines.at(j).text).isEmpty())
                place.lastContent = j;
            const auto kv = keyValue(lines.at(j).text);
            if (place.key < 0 && kv && equalsAsciiNoCase(kv->first, key))
                place.key = j;
        }
        break;
    }
    return place;
}

const QByteArray kCrLf("\r\n");

} // namespace

namespace ProfileFile {

namespace {

// A file an older editor saved as UTF-16 ("Unicode") holds text this format cannot: read as code
// page 932 its keys would be lost and a section written into it would damage it. It is told as
// unreadable instead, and never written.
bool readProfile(const QString& path, QByteArray& bytes, QString* reason)
{
    if (FileAccess::readRegularFile(path, bytes, reason) == FileAccess::ReadResult::Failed)
        return false;
    if (!bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF"))
        return true;
    if (reason)
        *reason = QStringLiteral("saved as UTF-16; save it as UTF-8 or Shift_JIS");
    return false;
}

} // namespace

int32_t GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, QString& buffer,
                                int32_t size, const QString& path, QString* readError)
{
    // A file that cannot be read gives the default, as a missing one does; only the caller
    // that asks is told the difference.
    QByteArray bytes;
    QString reason;
    if (!readProfile(path, bytes, &reason)) {
        bytes.clear();
        if (readError)
            *readError = reason;
    }
    const QList<Line> lines = parse(bytes).lines;
    const Place place = locate(lines, section, key);

    QString value = defaultValue;
    if (place.key >= 0)
        value = cleanValue(keyValue(lines.at(place.key).text)->second);

    // The caller's buffer holds size characters including the terminating NUL.
    buffer = size > 0 ? value.left(size - 1) : QString();
    return int32_t(buffer.size());
}

int32_t WritePrivateProfileString(const QString& section, const QString& key,
                                  const QString& value, const QString& path)
{
    QByteArray bytes;
    if (!readProfile(path, bytes, nullptr))
        return 0;
    // What is added is written in the encoding the file was found in: a CP932 file stays
    // CP932 byte for byte, and one an editor saved as UTF-8 stays UTF-8.
    const Parsed parsed = parse(bytes);
    const QList<Line>& lines = parsed.lines;
    const Place place = locate(lines, section, key);
    const QByteArray keyLine = TextEncoding::encode(parsed.encoding, key + u'=' + value);

    QByteArray out;
    out.reserve(bytes.size() + keyLine.size() + section.size() * 2 + 8);
    if (place.key >= 0) {
        // Replace the key line, keeping its own line ending.
        const Line& line = lines.at(place.key);
        out.append(bytes.left(line.begin));
        out.append(keyLine);
        out.append(bytes.mid(line.contentEnd));
    } else if (place.header >= 0) {
        // Add the key after the last non-blank line of the section, so blank lines that
        // separate it from the next section stay where they are.
        const Line& after = lines.at(place.lastContent);
        out.append(bytes.left(after.end));
        if (bytes.at(after.end - 1) != '\n')
            out.append(out.endsWith('\r') ? QByteArray("\n") : kCrLf);
        out.append(keyLine);
        out.append(kCrLf);
        out.append(bytes.mid(after.end));
    } else {
        out = bytes;
        if (out.size() > TextEncoding::bomLength(parsed.encoding) && !out.endsWith('\n'))
            out.append(out.endsWith('\r') ? QByteArray("\n") : kCrLf);
        out.append(TextEncoding::encode(parsed.encoding, u'[' + section + u']'));
        out.append(kCrLf);
        out.append(keyLine);
        out.append(kCrLf);
    }

    return FileAccess::writeAtomically(path, out) ? 1 : 0;
}

} // namespace ProfileFile
