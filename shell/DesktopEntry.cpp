#include "DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace dirwise::desktop {

namespace {

QString unescapeString(const QString &raw) {
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != u'\\' || i + 1 == raw.size()) {
            out += c;
            continue;
        }
        const QChar next = raw.at(++i);
        switch (next.unicode()) {
        case u's':
            out += u' ';
            break;
        case u'n':
            out += u'\n';
            break;
        case u't':
            out += u'\t';
            break;
        case u'r':
            out += u'\r';
            break;
        case u'\\':
            out += u'\\';
            break;
        default:
            // Not a string escape: keep it, the Exec rules may give it a meaning.
            out += c;
            out += next;
            break;
        }
    }
    return out;
}

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

// Every way of reading some of the id's dashes as folder separators, the plain name first.
// The number of dashes is capped so a silly id cannot make the search explode.
QStringList idCandidates(const QString &desktopId) {
    QList<qsizetype> dashes;
    for (qsizetype i = 0; i < desktopId.size(); ++i) {
        if (desktopId.at(i) == u'-')
            dashes.append(i);
    }
    if (dashes.size() > 8)
        dashes.resize(8);
    QStringList out;
    const quint32 combinations = 1u << dashes.size();
    for (quint32 mask = 0; mask < combinations; ++mask) {
        QString candidate = desktopId;
        for (qsizetype bit = 0; bit < dashes.size(); ++bit) {
            if (mask & (1u << bit))
                candidate[dashes.at(bit)] = u'/';
        }
        out.append(candidate);
    }
    return out;
}

} // namespace

std::optional<QString> entryValue(const QByteArray &content, const QString &key) {
    bool inMainGroup = false;
    const QList<QByteArray> lines = content.split('\n');
    for (const QByteArray &rawLine : lines) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inMainGroup = line == "[Desktop Entry]"_L1;
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        if (QStringView(line).left(eq).trimmed() != key)
            continue;
        return unescapeString(QStringView(line).mid(eq + 1).trimmed().toString());
    }
    return std::nullopt;
}

QStringList splitExec(const QString &exec) {
    QStringList args;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == u'"') {
                quoted = false;
            } else if (c == u'\\' && i + 1 < exec.size() &&
                       QStringView(u"\"`$\\").contains(exec.at(i + 1))) {
                current += exec.at(++i);
            } else {
                current += c;
            }
            continue;
        }
        if (isBlank(c)) {
            if (inArgument) {
                args.append(current);
                current.clear();
                inArgument = false;
            }
            continue;
        }
        inArgument = true;
        if (c == u'"') {
            quoted = true;
        } else if (c == u'%' && i + 1 < exec.size() && exec.at(i + 1) == u'%') {
            current += u'%';
            ++i;
        } else {
            current += c;
        }
    }
    if (quoted)
        return {};
    if (inArgument)
        args.append(current);
    return args;
}

QStringList applicationDirs() {
    QStringList bases;
    const QString home = qEnvironmentVariable("XDG_DATA_HOME");
    // The XDG base-directory rules say a relative path here is to be ignored.
    if (!home.isEmpty() && QDir::isAbsolutePath(home))
        bases.append(home);
    else
        bases.append(QDir::homePath() + "/.local/share"_L1);
    QStringList dataDirs;
    const QStringList listed =
        qEnvironmentVariable("XDG_DATA_DIRS").split(u':', Qt::SkipEmptyParts);
    for (const QString &dir : listed) {
        if (QDir::isAbsolutePath(dir))
            dataDirs.append(dir);
    }
    if (dataDirs.isEmpty())
        dataDirs = {u"/usr/local/share"_s, u"/usr/share"_s};
    bases += dataDirs;
    QStringList out;
    for (const QString &base : std::as_const(bases)) {
        QString dir = base;
        while (dir.size() > 1 && dir.endsWith(u'/'))
            dir.chop(1);
        out.append(dir + "/applications"_L1);
    }
    return out;
}

QString findDesktopFile(const QString &desktopId) {
    if (!desktopId.endsWith(".desktop"_L1) || desktopId.size() == 8 || desktopId.startsWith(u'.') ||
        desktopId.contains(u'/') || desktopId.contains(QChar()))
        return QString();
    const QStringList candidates = idCandidates(desktopId);
    const QStringList dirs = applicationDirs();
    for (const QString &dir : dirs) {
        for (const QString &candidate : candidates) {
            const QFileInfo file(dir + u'/' + candidate);
            if (file.isFile())
                return file.absoluteFilePath();
        }
    }
    return QString();
}

QString programOfDesktopFile(const QString &path) {
    QFile file(path);
    // A desktop file is a few kilobytes; the cap keeps a stray device or huge file harmless.
    constexpr qint64 maxSize = 1 << 20;
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray content = file.read(maxSize);
    // A Hidden entry is the user's way of deleting a system-wide application.
    if (entryValue(content, u"Hidden"_s).value_or(QString()) == "true"_L1)
        return QString();
    const std::optional<QString> exec = entryValue(content, u"Exec"_s);
    if (!exec)
        return QString();
    const QStringList args = splitExec(*exec);
    if (args.isEmpty())
        return QString();
    const QString &program = args.first();
    if (program.contains(u'/')) {
        const QFileInfo info(program);
        if (info.isAbsolute() && info.isFile() && info.isExecutable())
            return info.absoluteFilePath();
        return QString();
    }
    return QStandardPaths::findExecutable(program);
}

} // namespace dirwise::desktop
