// The message file loader on a file of fuzz bytes.
//
// Input: one byte, then the file's bytes. A first byte of 0xFF repeats the file's bytes until
// the file is over 33000 bytes long, so files of more messages than the list takes are tried
// without making every input that long.

#include "config/messages.h"
#include "fuzz_support.h"
#include "platform/cp932.h"

#include <QStringDecoder>
#include <QStringList>

namespace {

// The file's text: UTF-8 after its byte-order mark, UTF-8 when all of it is valid UTF-8 with
// something beyond ASCII, code page 932 otherwise.
QString fileText(const QByteArray& bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString asUtf8 = utf8.decode(bytes);
    bool ascii = true;
    for (char b : bytes)
        ascii = ascii && static_cast<unsigned char>(b) < 0x80;
    if (!ascii && !utf8.hasError())
        return asUtf8;
    return Cp932::decode(bytes);
}

// The messages: every line that does not start with '#'. CR LF, LF and CR each end a line.
QStringList expectedMessages(const QString& text)
{
    QString unified = text;
    unified.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    unified.replace(u'\r', u'\n');
    QStringList all = unified.split(u'\n');
    if (!unified.isEmpty() && unified.endsWith(u'\n'))
        all.removeLast();
    if (unified.isEmpty())
        all.clear();
    QStringList messages;
    for (const QString& line : all)
        if (!line.startsWith(u'#'))
            messages.append(line);
    return messages;
}

void checkList(const PublicConst& pub, const QStringList& expected)
{
    FUZZ_CHECK(pub.Pub_MessCount >= 0);
    FUZZ_CHECK(pub.Pub_MessCount <= Messages::kMaxMessages);
    FUZZ_CHECK(pub.Pub_MessList.size() == pub.Pub_MessCount + 1);
    FUZZ_CHECK(pub.Pub_MessList.at(0).isEmpty());
    const QStringList kept = expected.mid(0, Messages::kMaxMessages);
    FUZZ_CHECK(pub.Pub_MessCount == kept.size());
    for (qsizetype i = 0; i < kept.size(); ++i) {
        if (pub.Pub_MessList.at(i + 1) != kept.at(i)) {
            std::fprintf(stderr, "message %lld differs\n", static_cast<long long>(i + 1));
            FuzzSupport::dump("loaded", pub.Pub_MessList.at(i + 1));
            FuzzSupport::dump("expected", kept.at(i));
            FUZZ_CHECK(false);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    QByteArray file(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    if (data[0] == 0xFF && !file.isEmpty()) {
        const QByteArray unit = file;
        while (file.size() <= 33000)
            file += unit;
    }

    static const QString path = FuzzSupport::scratchFolder() + QStringLiteral("/") + Messages::kFileName;
    FuzzSupport::writeFile(path, file);
    const QStringList expected = expectedMessages(fileText(file));

    PublicConst pub;
    pub.Pub_MessPath = path;
    pub.Pub_MessIndex = 7;
    Mess_Load(pub);
    checkList(pub, expected);
    FUZZ_CHECK(pub.Pub_MessIndex == 7);
    FUZZ_CHECK(FuzzSupport::readFile(path) == file);

    // Loading again over a filled list gives the same list.
    Mess_Load(pub);
    checkList(pub, expected);
    return 0;
}
