#include "DesktopLaunch.h"

#include "DesktopEntry.h"
#include "Io.h"

#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include <optional>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace dirwise::desktop {

namespace {

// xdg-mime is a shell script that may call the desktop's own tools; a query that hangs
// must not hang the window for longer than this.
constexpr int queryTimeoutMs = 5000;

// Runs a short query program and returns its standard output, or nullopt when it could
// not start, timed out, or did not exit with 0.
std::optional<QByteArray> runQuery(const QString &program, const QStringList &args) {
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, args, QIODevice::ReadOnly);
    if (!process.waitForStarted(queryTimeoutMs))
        return std::nullopt;
    if (!process.waitForFinished(queryTimeoutMs)) {
        process.kill();
        process.waitForFinished(queryTimeoutMs);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

// The first word of a query's output: xdg-mime may add a newline, and some desktops list
// several ids separated by ";".
QString firstToken(const QByteArray &output) {
    static const QRegularExpression separators(u"[;\\s]+"_s);
    const QStringList parts = QString::fromUtf8(output).split(separators, Qt::SkipEmptyParts);
    return parts.isEmpty() ? QString() : parts.first();
}

QString mimeTypeOf(const QString &documentPath) {
    if (const auto output = runQuery(u"xdg-mime"_s, {u"query"_s, u"filetype"_s, documentPath})) {
        // Some back ends answer "text/html; charset=us-ascii".
        const QString type = firstToken(*output);
        if (type.contains(u'/'))
            return type;
    }
    // xdg-mime needs file(1) on a bare desktop; Qt's database answers without it.
    return QMimeDatabase().mimeTypeForFile(documentPath).name();
}

// A web address is "scheme:" with a scheme of two or more characters; file: addresses are
// local paths in disguise.
bool isAddress(const QString &target) {
    static const QRegularExpression scheme(u"^[A-Za-z][A-Za-z0-9+.\\-]+:"_s);
    return scheme.match(target).hasMatch() && !target.startsWith("file:"_L1, Qt::CaseInsensitive);
}

// The local path a target names: itself, or the path of a file: address (empty when the
// address is malformed).
QString localPathOf(const QString &target) {
    if (target.startsWith("file:"_L1, Qt::CaseInsensitive))
        return QUrl(target).toLocalFile();
    return target;
}

bool startDetached(const QString &program, const QStringList &args) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(args);
    // A desktop program must not inherit our terminal's input.
    process.setStandardInputFile(QProcess::nullDevice());
    return process.startDetached();
}

// The scratch file of findDefaultBrowser: made in a directory only this user can enter,
// created exclusively without following links, and removed when this goes out of scope.
class ScratchFile {
public:
    ScratchFile() = default;
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;

    ~ScratchFile() {
        if (m_fileMade)
            ::unlinkat(m_dir.get(), scratchFileName, 0);
        m_dir.reset();
        if (m_removeDir)
            ::rmdir(m_dirBytes.constData());
    }

    // Makes the file; false when it could not be made (nothing is left behind then).
    [[nodiscard]] bool create() { return openPrivateDir() && writeFile(); }

    [[nodiscard]] QString path() const {
        return QFile::decodeName(m_dirBytes) + u'/' + QLatin1StringView(scratchFileName);
    }

private:
    // The per-user directory when it is safe to use, else a fresh mkdtemp directory.
    bool openPrivateDir() {
        const QByteArray fixed = QFile::encodeName(browserScratchDir());
        if (::mkdir(fixed.constData(), 0700) == 0 || errno == EEXIST) {
            if (adoptDir(fixed))
                return true;
        }
        // Someone else's directory (or a link) under our name must not stop the look-up,
        // and must not be used either.
        QByteArray pattern = QFile::encodeName(tempDir() + "dirwise-XXXXXX"_L1);
        if (::mkdtemp(pattern.data()) == nullptr)
            return false;
        m_removeDir = true;
        m_dirBytes = pattern;
        return adoptDir(pattern);
    }

    // Opens `dir` without following a link and accepts it only when it is our own directory
    // closed to everybody else. Checking the opened descriptor leaves no window between the
    // check and the use.
    bool adoptDir(const QByteArray &dir) {
        UniqueFd fd(::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd)
            return false;
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
            (st.st_mode & 077) != 0)
            return false;
        m_dir = std::move(fd);
        m_dirBytes = dir;
        return true;
    }

    bool writeFile() {
        // A file left by a crashed look-up is replaced, never reused: only an exclusive
        // creation guarantees the content is ours.
        ::unlinkat(m_dir.get(), scratchFileName, 0);
        UniqueFd fd(::openat(m_dir.get(), scratchFileName,
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd)
            return false;
        m_fileMade = true;
        const bool written = WriteAll(fd.get(), scratchFileContent) == 0;
        return fd.close() == 0 && written;
    }

    QByteArray m_dirBytes;
    UniqueFd m_dir;
    bool m_fileMade = false;
    bool m_removeDir = false;
};

} // namespace

QString tempDir() {
    // Not QDir::tempPath(): for a $TMPDIR that does not exist it answers "", which would
    // put the scratch directory at "/".
    QString dir = qEnvironmentVariable("TMPDIR");
    if (dir.isEmpty())
        dir = u"/tmp"_s;
    dir = QDir::cleanPath(dir);
    if (!dir.endsWith(u'/'))
        dir += u'/';
    return dir;
}

QString findAssociatedProgram(const QString &documentPath) {
    if (documentPath.isEmpty() || !QFileInfo::exists(documentPath))
        return QString();
    const QString type = mimeTypeOf(documentPath);
    if (type.isEmpty())
        return QString();
    // With no default set, xdg-mime prints nothing and still exits 0.
    const auto output = runQuery(u"xdg-mime"_s, {u"query"_s, u"default"_s, type});
    if (!output)
        return QString();
    const QString desktopId = firstToken(*output);
    if (desktopId.isEmpty())
        return QString();
    const QString entry = findDesktopFile(desktopId);
    if (entry.isEmpty())
        return QString();
    return programOfDesktopFile(entry).trimmed();
}

QString browserScratchDir() { return tempDir() + "dirwise-"_L1 + QString::number(::geteuid()); }

QString findDefaultBrowser() {
    // No yield to the event loop while the file exists: a command run in between could
    // start a second look-up that deletes this one's file.
    ScratchFile scratch;
    if (!scratch.create())
        return QString();
    return findAssociatedProgram(scratch.path());
}

OpenResult shellOpen(const QString &target, const QString &parameters) {
    if (target.isEmpty())
        return OpenResult::NotFound;
    if (isAddress(target))
        return startDetached(u"xdg-open"_s, {target}) ? OpenResult::HandedOver
                                                      : OpenResult::NoAssociation;

    const QString path = localPathOf(target);
    if (path.isEmpty())
        return OpenResult::NotFound;
    if (!parameters.isEmpty()) {
        QString program;
        if (!path.contains(u'/')) {
            program = QStandardPaths::findExecutable(path);
            if (program.isEmpty() && !QFileInfo::exists(path))
                return OpenResult::NotFound;
        } else {
            const QFileInfo info(path);
            if (!info.exists())
                return OpenResult::NotFound;
            if (info.isFile() && info.isExecutable())
                program = info.absoluteFilePath();
        }
        if (!program.isEmpty())
            return startDetached(program, {parameters}) ? OpenResult::HandedOver
                                                        : OpenResult::AccessDenied;
        // Not a program: a document, opened as without parameters.
    }
    const QFileInfo document(path);
    if (!document.exists())
        return OpenResult::NotFound;
    // xdg-open may wait for the program it starts, so it is never waited for here. The
    // absolute path keeps a name such as "-h" from reading as an option.
    return startDetached(u"xdg-open"_s, {document.absoluteFilePath()}) ? OpenResult::HandedOver
                                                                       : OpenResult::NoAssociation;
}

void openTarget(const QString &target) {
    if (shellOpen(target) != OpenResult::NotFound)
        return;
    // An empty browser path makes this second call report "not found" and do nothing.
    (void)shellOpen(findDefaultBrowser(), target);
}

void openTargetWithBusyPointer(const QString &target) {
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    openTarget(target);
    QGuiApplication::restoreOverrideCursor();
}

} // namespace dirwise::desktop
