#include "config/settings.h"

#include "config/config_folder.h"
#include "platform/profile_file.h"

int32_t Ini_Write(PublicConst& pub, const QString& section, const QString& key, const QString& value)
{
    // A prepared file that cannot be copied is no reason to lose the value: it is saved alone.
    adoptPreparedFile(pub.Pub_IniPath, pub.iniPreparedPath);
    return ProfileFile::WritePrivateProfileString(section, key, value, pub.Pub_IniPath);
}

void Ini_ReadHost(PublicConst& pub)
{
    pub.Pub_IniBuffer = QString(1024, QChar(u'\0'));
    pub.Pub_IniBufLen = int32_t(pub.Pub_IniBuffer.size());
    pub.Pub_IniSection = Settings::kSection;
    pub.Pub_IniKey = Settings::kKey;

    QString value;
    QString readError;
    const QString path = configFileToRead(pub.Pub_IniPath, pub.iniPreparedPath);
    pub.Pub_IniResult = ProfileFile::GetPrivateProfileString(pub.Pub_IniSection, pub.Pub_IniKey, QString(),
                                                             value, pub.Pub_IniBufLen, path, &readError);
    // The buffer keeps its fixed length: the value is copied over its start and ends at the
    // first NUL, as the text before that NUL is all the caller may use.
    pub.Pub_IniBuffer.replace(0, value.size() + 1, value + QChar(u'\0'));

    pub.iniUnreadable.clear();
    if (!readError.isEmpty()) {
        // A file that exists but could not be read (no permission, held by another program) is
        // not an empty one: the default serves this run, and nothing is saved that would hide
        // the operator's file from every later start.
        pub.Pub_HostIP = Settings::kDefaultHostIP;
        pub.Pub_IniResult = 0;
        pub.iniUnreadable = path + QLatin1Char('\r') + readError;
    } else if (pub.Pub_IniResult != 0) {
        pub.Pub_HostIP = pub.Pub_IniBuffer.left(pub.Pub_IniBuffer.indexOf(QChar(u'\0')));
    } else {
        pub.Pub_HostIP = Settings::kDefaultHostIP;
        pub.Pub_IniResult = Ini_Write(pub, pub.Pub_IniSection, pub.Pub_IniKey, pub.Pub_HostIP);
    }
}

QString settingsUnreadableNotice(const PublicConst& pub)
{
    if (pub.iniUnreadable.isEmpty())
        return {};
    return QStringLiteral("設定ファイルを読み込めませんでした。\r"
                          "今回は既定のホストＩＰ番号「%1」で動作します。このファイルは書き換えません。\r")
               .arg(pub.Pub_HostIP)
        + pub.iniUnreadable;
}
