#include "platform/file_save_watch.h"

#include <QFile>

#include <sys/stat.h>

FileSaveWatch::Stamp FileSaveWatch::stamp() const
{
    struct stat st {};
    if (::stat(QFile::encodeName(m_path).constData(), &st) != 0)
        return {};
    return {qint64(st.st_ino), qint64(st.st_size), qint64(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec};
}
