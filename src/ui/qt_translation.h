#pragma once

class QCoreApplication;

/// Installs Qt's own Japanese texts (qtbase_ja.qm) on app, so that the standard buttons of
/// message boxes read はい / いいえ / OK / キャンセル whatever the system's language. Looks in the
/// program folder's translations/ first, then in Qt's translations folder. Returns false when
/// the file is found nowhere: the buttons then stay in English.
bool installQtTranslation(QCoreApplication& app);
