#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>

/// One run's file as the lap log's writer thread keeps it: created exclusively, appended to
/// and synced. A file gone from its path is opened there again only while what the path holds
/// is what was written to it (the same bytes up to what was synced, then at most a part of the
/// rows being written); anything else at the path is left untouched and the rows go on in a
/// new file beside it, which starts with everything written so far.
class LapLogFile {
public:
    /// Makes what was written to the file's handle reach the medium; false when it could not.
    using Sync = std::function<bool(QFileDevice&)>;
    /// How creating the file or writing rows ended.
    enum class Outcome {
        Written,  ///< on the medium
        Failed,   ///< not written now; nothing of it is left in the file
        NoRoom,   ///< as Failed, for want of room on the medium
    };

    /// The file fileName (ending in .csv) in folder, synced with sync, starting with start (the
    /// byte order mark and the header row); nothing is made yet.
    LapLogFile(QString folder, QString fileName, Sync sync, QByteArray start);
    ~LapLogFile();
    LapLogFile(const LapLogFile&) = delete;
    LapLogFile& operator=(const LapLogFile&) = delete;

    /// Creates the file with its header under a free name (fileName, else _2 to _99 before
    /// .csv), the folder made when missing, and syncs it.
    Outcome create();
    /// Appends rows (whole lines) and syncs them, opening the file first when needed. What
    /// could not be written is cut off again, so the rows can be written anew later.
    Outcome write(const QByteArray& rows);

    /// The file the rows go to; empty until one was created.
    QString path() const { return m_path; }
    /// The file as the operator is told of it: path(), else the name it is to have.
    QString shownPath() const;
    /// Whether the file was found gone from its path and opened there again since last asked.
    bool takeReopened();
    /// The path left untouched when the rows moved to a new file since last asked, else empty.
    QString takeMovedFrom();

private:
    enum class Owner { Ours, NotOurs, Unknown };

    Outcome ensureOpen(const QByteArray& rows);
    Outcome reopen(const QByteArray& rows);
    Owner owner(const QByteArray& rows, QFile& there, qint64& size) const;
    Outcome createBeside(const QByteArray& start);
    Outcome createAt(const QString& path, const QByteArray& start);

    const QString m_folder;
    const QString m_fileName;
    const Sync m_sync;
    const QByteArray m_start;
    QFile m_file;
    QString m_path;
    QByteArray m_content;  ///< what the file holds from its start, as written and synced
    bool m_reopened = false;
    QString m_movedFrom;
};
