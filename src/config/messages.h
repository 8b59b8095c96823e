#pragma once

#include "state/public_const.h"

#include <QString>

/// The message file name and the lines of the default file.
namespace Messages {
inline const QString kFileName = QStringLiteral("OutMess.txt");
/// Largest number of messages kept, so the 16-bit index can always step past the last.
constexpr int kMaxMessages = 32766;
} // namespace Messages

/// Loads the message list from pub.Pub_MessPath into Pub_MessList and Pub_MessCount,
/// writing the default file first when none exists. Shows nothing; always returns with
/// entry 0 present and Pub_MessCount agreeing with the list.
void Mess_Load(PublicConst& pub);
