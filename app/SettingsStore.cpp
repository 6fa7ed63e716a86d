#include "SettingsStore.h"

#include "Io.h"
#include "SafeWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirwise {

namespace {

QByteArray pathBytes(const QString &path) { return QFile::encodeName(path); }

} // namespace

QString SettingsStore::FileName(const QString &application) const {
    // The location QSettings uses for user settings on Linux (it honours XDG_CONFIG_HOME).
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + application + QLatin1Char('/') + application +
           QStringLiteral(".conf");
}

SettingsStore::ReadResult SettingsStore::Read(const QString &application,
                                              ini::Document &document) const {
    document = ini::Document{};
    const QByteArray path = pathBytes(FileName(application));
    // Look before opening: opening a FIFO for reading would wait for a writer.
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return errno == ENOENT ? ReadResult{ReadStatus::NoFile, 0}
                               : ReadResult{ReadStatus::Unreadable, errno};
    if (!S_ISREG(st.st_mode))
        return {ReadStatus::NotRegular, 0};
    if (st.st_size > MaxFileSize)
        return {ReadStatus::TooLarge, 0};

    // The file may have been swapped since: O_NONBLOCK keeps a FIFO from holding the open
    // up, and the opened file is checked again.
    UniqueFd fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd)
        return errno == ENOENT ? ReadResult{ReadStatus::NoFile, 0}
                               : ReadResult{ReadStatus::Unreadable, errno};
    if (::fstat(fd.get(), &st) != 0)
        return {ReadStatus::Unreadable, errno};
    if (!S_ISREG(st.st_mode))
        return {ReadStatus::NotRegular, 0};

    // Read one byte past the limit, so a file that grew since the look is still caught.
    QByteArray bytes(MaxFileSize + 1, Qt::Uninitialized);
    qsizetype total = 0;
    while (total < bytes.size()) {
        const ssize_t n =
            ::read(fd.get(), bytes.data() + total, static_cast<std::size_t>(bytes.size() - total));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return {ReadStatus::Unreadable, errno};
        }
        if (n == 0)
            break;
        total += n;
    }
    if (total > MaxFileSize)
        return {ReadStatus::TooLarge, 0};
    bytes.truncate(total);
    if (!ini::Parse(bytes, document))
        return {ReadStatus::BadFormat, 0};
    return {ReadStatus::Ok, 0};
}

int SettingsStore::Write(const QString &application, const ini::Document &document) {
    const QString file = FileName(application);
    // The folder is made as QSettings makes it; a failure shows in the write below.
    (void)QDir().mkpath(QFileInfo(file).absolutePath());
    const QByteArray text = ini::Format(document);
    return SafeWrite(
        pathBytes(file).toStdString(),
        [&text](const std::function<int(std::string_view)> &write) {
            return write(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
        },
        SpecialTarget::Refuse);
}

bool SettingsStore::DeleteApplication(const QString &application) {
    return ::unlink(pathBytes(FileName(application)).constData()) == 0;
}

} // namespace dirwise
