#include "config/messages.h"

#include "config/config_folder.h"
#include "platform/cp932.h"
#include "platform/file_access.h"
#include "platform/text_encoding.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>

namespace {

// The default message file: a comment banner and three messages, written in CP932 with CR LF.
const QStringList& defaultLines()
{
    static const QStringList lines = {
        QStringLiteral("###########################"),
        QStringLiteral("## Chronel Client System ##"),
        QStringLiteral("#########################################################################################"),
        QStringLiteral("## このファイルはChronelホストシステムへ送るメッセージを記述しているファイルです。##"),
        QStringLiteral("## '#' が先頭にないものがメッセージとして処理されます。　　　　　　　　　　　　　　　　##"),
        QStringLiteral("## 長い文章を記入しても画面に表示できないのでなるべく短く作成してください。　　　　　　##"),
        QStringLiteral("## （全角文字で１０文字以下）　　　　　　　　　　　　　　　　　　　　　　　　　　　　　##"),
        QStringLiteral("#########################################################################################"),
        QStringLiteral("ドライバ交代して"),
        QStringLiteral("エア抜きPitIN準備"),
        QStringLiteral("グラベル君とは友達さ"),
    };
    return lines;
}

// The three messages are the last lines of the default file.
constexpr int kDefaultMessageCount = 3;

using FileAccess::ReadResult;

bool writeDefaultFile(const QString& path)
{
    QByteArray bytes;
    for (const QString& line : defaultLines()) {
        bytes.append(Cp932::encode(line));
        bytes.append("\r\n");
    }
    // Written through a temporary file, so a failed write never leaves half a file that the
    // next load would take for the operator's own.
    return FileAccess::writeAtomically(path, bytes);
}

// Lines end with CR LF, a lone LF or a lone CR. A last line without an ending is a line;
// the end of the file after a line ending is not.
QStringList splitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

bool isComment(const QString& line)
{
    return !line.isEmpty() && line.at(0) == u'#';
}

void useDefaultMessages(PublicConst& pub)
{
    const QStringList& lines = defaultLines();
    pub.Pub_MessList = QStringList{QString()} + lines.mid(lines.size() - kDefaultMessageCount);
    pub.Pub_MessCount = int16_t(kDefaultMessageCount);
}

// A file that exists but cannot be read is not retried: the condition would persist. The list
// in force stays when it is whole, so a failed reload after editing keeps the messages the
// operator was using; otherwise only the empty message is left.
void keepOrClear(PublicConst& pub)
{
    const bool whole = pub.Pub_MessCount >= 0 && pub.Pub_MessList.size() == pub.Pub_MessCount + 1
        && pub.Pub_MessList.at(0).isEmpty();
    if (!whole) {
        pub.Pub_MessList = QStringList{QString()};
        pub.Pub_MessCount = 0;
    }
}

} // namespace

void Mess_Load(PublicConst& pub)
{
    QByteArray bytes;
    ReadResult result = FileAccess::readRegularFile(configFileToRead(pub.Pub_MessPath, pub.messPreparedPath), bytes);
    if (result == ReadResult::Missing) {
        if (!writeDefaultFile(pub.Pub_MessPath)) {
            useDefaultMessages(pub);
            return;
        }
        result = FileAccess::readRegularFile(pub.Pub_MessPath, bytes);
        if (result != ReadResult::Ok) {
            useDefaultMessages(pub);
            return;
        }
    }
    if (result == ReadResult::Failed) {
        keepOrClear(pub);
        return;
    }

    // The file is read once and both passes run over that one reading, so an editor saving
    // in between cannot make the count and the fill disagree. The file is written in CP932,
    // but an editor on this system may well have saved it as UTF-8.
    const QStringList lines = splitLines(TextEncoding::decodeFile(bytes));

    int count = 0;
    for (const QString& line : lines) {
        pub.Pub_MessLine = line;
        if (!isComment(pub.Pub_MessLine) && count < Messages::kMaxMessages)
            ++count;
    }
    pub.Pub_MessCount = int16_t(count);

    pub.Pub_MessList = QStringList(qsizetype(count) + 1);
    pub.Pub_MessList[0] = QString();
    pub.Pub_MessFill = 1;
    for (const QString& line : lines) {
        if (pub.Pub_MessFill > pub.Pub_MessCount)
            break;
        pub.Pub_MessLine = line;
        if (!isComment(pub.Pub_MessLine)) {
            pub.Pub_MessList[pub.Pub_MessFill] = pub.Pub_MessLine;
            ++pub.Pub_MessFill;
        }
    }
}

QString messFileForEditing(const PublicConst& pub)
{
    if (adoptPreparedFile(pub.Pub_MessPath, pub.messPreparedPath))
        return pub.Pub_MessPath;
    return configFileToRead(pub.Pub_MessPath, pub.messPreparedPath);
}
