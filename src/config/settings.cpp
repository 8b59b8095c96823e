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
    pub.Pub_IniResult = ProfileFile::GetPrivateProfileString(pub.Pub_IniSection, pub.Pub_IniKey, QString(),
                                                             value, pub.Pub_IniBufLen,
                                                             configFileToRead(pub.Pub_IniPath, pub.iniPreparedPath));
    // The buffer keeps its fixed length: the value is copied over its start and ends at the
    // first NUL, as the text before that NUL is all the caller may use.
    pub.Pub_IniBuffer.replace(0, value.size() + 1, value + QChar(u'\0'));

    if (pub.Pub_IniResult != 0) {
        pub.Pub_HostIP = pub.Pub_IniBuffer.left(pub.Pub_IniBuffer.indexOf(QChar(u'\0')));
    } else {
        pub.Pub_HostIP = Settings::kDefaultHostIP;
        pub.Pub_IniResult = Ini_Write(pub, pub.Pub_IniSection, pub.Pub_IniKey, pub.Pub_HostIP);
    }
}
