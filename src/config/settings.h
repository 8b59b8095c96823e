#pragma once

#include "state/public_const.h"

#include <QString>
#include <cstdint>

/// The section and key of the host address, and the address used when none is stored.
namespace Settings {
inline const QString kSection = QStringLiteral("環境設定");
inline const QString kKey = QStringLiteral("HostIPNo");
inline const QString kDefaultHostIP = QStringLiteral("192.168.1.10");
inline const QString kFileName = QStringLiteral("Rivect.ini");
} // namespace Settings

/// Writes value under key in section of the settings file at pub.Pub_IniPath, which starts as
/// a copy of the other file when that is the one read; nonzero on success.
int32_t Ini_Write(PublicConst& pub, const QString& section, const QString& key, const QString& value);

/// Reads the host address into pub.Pub_HostIP, from Pub_IniPath or, while that is missing, the
/// prepared copy (configFileToRead); writes the default when the file read has none. A file that
/// cannot be read gives the default for this run, writes nothing and sets pub.iniUnreadable.
void Ini_ReadHost(PublicConst& pub);

/// The message box text telling that the settings file could not be read (its path and the
/// reason); empty when Ini_ReadHost read it.
QString settingsUnreadableNotice(const PublicConst& pub);
