#pragma once

#include "state/public_const.h"

#include <QString>

/// The message file name and the lines of the default file.
namespace Messages {
inline const QString kFileName = QStringLiteral("OutMess.txt");
/// Largest number of messages kept, so the 16-bit index can always step past the last.
constexpr int kMaxMessages = 32766;
} // namespace Messages

/// Loads the message list from pub.Pub_MessPath (or, while that is missing, the prepared file)
/// into Pub_MessList and Pub_MessCount, writing the default file first when neither exists. Shows nothing; always returns with
/// entry 0 present and Pub_MessCount agreeing with the list.
void Mess_Load(PublicConst& pub);

/// The message file an editor is to open: pub.Pub_MessPath, made a copy of the prepared file
/// first when it is missing, so the edits are saved where the next load reads them. The
/// prepared file itself when no copy can be made.
QString messFileForEditing(const PublicConst& pub);
