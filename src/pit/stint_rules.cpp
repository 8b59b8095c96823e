#include "pit/stint_rules.h"

#include "platform/file_access.h"
#include "platform/text_encoding.h"

#include <QFileInfo>

#include <QMap>

#include <algorithm>
#include <array>

namespace {

struct RuleKey {
    const char* name;
    int StintRules::*field;
};

constexpr std::array<RuleKey, 6> kRuleKeys = {{
    {"max_stint_min", &StintRules::maxStintMin},
    {"min_pit_s", &StintRules::minPitS},
    {"pits_closed_start_min", &StintRules::pitsClosedStartMin},
    {"pits_closed_end_min", &StintRules::pitsClosedEndMin},
    {"min_driver_min", &StintRules::minDriverMin},
    {"max_driver_min", &StintRules::maxDriverMin},
}};

// A whole number of 0 or more in ASCII digits. Capped at a week's worth of seconds so that the
// book's millisecond sums can never overflow, whatever a file says.
int wholeNumber(const QString& text)
{
    if (text.isEmpty() || text.size() > 6)
        return -1;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return -1;
    }
    return text.toInt();
}

enum class Section { None, Rules, Drivers, Unknown };

} // namespace

namespace StintsFile {

QString defaultText()
{
    QString text = QStringLiteral("[rules]\r\n");
    for (const RuleKey& key : kRuleKeys)
        text += QLatin1String(key.name) + QStringLiteral("=0\r\n");
    text += QStringLiteral("[drivers]\r\n1=山田\r\n2=佐藤\r\n3=鈴木\r\n");
    return text;
}

Reading parse(const QString& text, const QString& fileName)
{
    Reading reading;
    Section section = Section::None;
    QList<bool> ruleSeen(kRuleKeys.size(), false);
    QMap<int, QString> drivers;
    // Lines end with CR LF, LF or a lone CR, as an editor on either system may save them.
    QString normalised = text;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    const QStringList lines = normalised.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        auto problem = [&](const QString& what) {
            reading.problems.append(QStringLiteral("%1 %2行目: %3").arg(fileName).arg(i + 1).arg(what));
        };
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            const QString name = line.mid(1, line.size() - 2).trimmed();
            if (name.compare(QStringLiteral("rules"), Qt::CaseInsensitive) == 0) {
                section = Section::Rules;
            } else if (name.compare(QStringLiteral("drivers"), Qt::CaseInsensitive) == 0) {
                section = Section::Drivers;
            } else {
                section = Section::Unknown;
                problem(QStringLiteral("知らないセクション [%1]").arg(name));
            }
            continue;
        }
        if (section == Section::Unknown)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0) {
            problem(QStringLiteral("キー=値 の形ではありません"));
            continue;
        }
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (section == Section::None) {
            problem(QStringLiteral("「%1」がセクションの外にあります").arg(key));
        } else if (section == Section::Rules) {
            const auto it = std::find_if(kRuleKeys.begin(), kRuleKeys.end(), [&](const RuleKey& k) {
                return key.compare(QLatin1String(k.name), Qt::CaseInsensitive) == 0;
            });
            const int number = wholeNumber(value);
            if (it == kRuleKeys.end()) {
                problem(QStringLiteral("知らないキー「%1」").arg(key));
            } else if (number < 0) {
                problem(QStringLiteral("「%1」は 0 以上の整数ではありません。この決まりは使いません").arg(value));
            } else if (ruleSeen[it - kRuleKeys.begin()]) {
                problem(QStringLiteral("「%1」が二度あります。最初のものを使います").arg(key));
            } else {
                ruleSeen[it - kRuleKeys.begin()] = true;
                reading.rules.*(it->field) = number;
            }
        } else {
            const int number = wholeNumber(key);
            if (number < 1 || number > kMaxDrivers)
                problem(QStringLiteral("ドライバーの番号「%1」は 1 から %2 ではありません").arg(key).arg(kMaxDrivers));
            else if (value.isEmpty())
                problem(QStringLiteral("ドライバー %1 に名前がありません").arg(number));
            else if (drivers.contains(number))
                problem(QStringLiteral("ドライバー %1 が二度あります。最初のものを使います").arg(number));
            else
                drivers.insert(number, value);
        }
    }
    reading.rules.drivers = drivers.values();
    return reading;
}

Reading read(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    QByteArray bytes;
    QString reason;
    switch (FileAccess::readRegularFile(path, bytes, &reason)) {
    case FileAccess::ReadResult::Missing: {
        Reading reading = parse(defaultText(), name);
        reading.missing = true;
        return reading;
    }
    case FileAccess::ReadResult::Failed: {
        Reading reading;
        reading.problems.append(QStringLiteral("%1: 読めません (%2)。どの決まりも使いません").arg(path, reason));
        return reading;
    }
    case FileAccess::ReadResult::Ok:
        break;
    }
    return parse(TextEncoding::decodeFile(bytes), name);
}

} // namespace StintsFile
