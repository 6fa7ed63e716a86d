#include "FilePropertiesDialog.h"

#include "LocaleText.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMimeDatabase>
#include <QTimer>
#include <QVBoxLayout>

#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace dirwise {

namespace {

QString kindOf(mode_t mode) {
    if (S_ISREG(mode))
        return QCoreApplication::translate("dirwise::FilePropertiesDialog", "Regular file");
    if (S_ISDIR(mode))
        return QCoreApplication::translate("dirwise::FilePropertiesDialog", "Directory");
    if (S_ISLNK(mode))
        return QCoreApplication::translate("dirwise::FilePropertiesDialog", "Symbolic link");
    if (S_ISFIFO(mode))
        return QCoreApplication::translate("dirwise::FilePropertiesDialog", "Named pipe (FIFO)");
    if (S_ISSOCK(mode))
        return QCoreApplication::translate("dirwise::FilePropertiesDialog", "Socket");
    if (S_ISCHR(mode))
        return QCoreApplication::translate("dirwise::FilePropertiesDialog", "Character device");
    if (S_ISBLK(mode))
        return QCoreApplication::translate("dirwise::FilePropertiesDialog", "Block device");
    return QCoreApplication::translate("dirwise::FilePropertiesDialog", "Unknown kind");
}

QString linkTarget(const std::string &path, off_t size) {
    // The link's own size is the length of its target; allow for a racing change.
    std::string buffer(static_cast<size_t>(size > 0 ? size : 0) + 256, '\0');
    const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0)
        return QString();
    buffer.resize(static_cast<size_t>(n));
    return QFile::decodeName(QByteArray::fromStdString(buffer));
}

QString mimeOf(const std::string &path) {
    const QByteArray bytes = QByteArray::fromStdString(path);
    const QString decoded = QFile::decodeName(bytes);
    QMimeDatabase db;
    // Only a name that survives decoding can be opened through Qt to look at the content.
    const QMimeType type = QFile::encodeName(decoded) == bytes
                               ? db.mimeTypeForFile(decoded)
                               : db.mimeTypeForFile(decoded, QMimeDatabase::MatchExtension);
    if (!type.isValid())
        return QString();
    return u"%1, %2"_s.arg(type.comment(), type.name());
}

QString permissionText(mode_t mode) {
    QString text(10, u'-');
    if (S_ISDIR(mode))
        text[0] = u'd';
    else if (S_ISLNK(mode))
        text[0] = u'l';
    else if (S_ISFIFO(mode))
        text[0] = u'p';
    else if (S_ISSOCK(mode))
        text[0] = u's';
    else if (S_ISCHR(mode))
        text[0] = u'c';
    else if (S_ISBLK(mode))
        text[0] = u'b';
    const mode_t bits[9] = {S_IRUSR, S_IWUSR, S_IXUSR, S_IRGRP, S_IWGRP,
                            S_IXGRP, S_IROTH, S_IWOTH, S_IXOTH};
    const char16_t letters[3] = {u'r', u'w', u'x'};
    for (int i = 0; i < 9; ++i) {
        if (mode & bits[i])
            text[1 + i] = letters[i % 3];
    }
    // Set-id and sticky bits share the execute column: lower case when execute is set too.
    auto special = [&](int column, mode_t bit, char16_t withExec, char16_t withoutExec) {
        if (mode & bit)
            text[column] = text[column] == u'x' ? withExec : withoutExec;
    };
    special(3, S_ISUID, u's', u'S');
    special(6, S_ISGID, u's', u'S');
    special(9, S_ISVTX, u't', u'T');
    return u"%1 (%2)"_s.arg(text).arg(mode & 07777, 4, 8, QChar(u'0'));
}

QString userName(uid_t uid) {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(static_cast<size_t>(size > 0 ? size : 16384), '\0');
    struct passwd entry {};
    struct passwd *found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return QString();
    return QFile::decodeName(found->pw_name);
}

QString groupName(gid_t gid) {
    long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::string buffer(static_cast<size_t>(size > 0 ? size : 16384), '\0');
    struct group entry {};
    struct group *found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return QString();
    return QFile::decodeName(found->gr_name);
}

QString named(const QString &name, qulonglong id) {
    return name.isEmpty() ? QString::number(id) : u"%1 (%2)"_s.arg(name).arg(id);
}

QLabel *valueLabel(QWidget *parent, const QString &text) {
    auto *label = new QLabel(parent);
    // File names may hold "<": never let them read as markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

} // namespace

FileFacts describeFile(const std::string &path) {
    FileFacts facts;
    facts.path = QFile::decodeName(QByteArray::fromStdString(path));
    if (path.empty() || path.find('\0') != std::string::npos) {
        facts.type = QCoreApplication::translate("dirwise::FilePropertiesDialog",
                                                 "Cannot be examined: not a valid file name");
        return facts;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        facts.type =
            QCoreApplication::translate("dirwise::FilePropertiesDialog", "Cannot be examined: %1")
                .arg(errorText(errno));
        return facts;
    }
    facts.readable = true;
    facts.type = kindOf(st.st_mode);
    if (S_ISLNK(st.st_mode)) {
        const QString target = linkTarget(path, st.st_size);
        if (!target.isEmpty())
            facts.type +=
                QCoreApplication::translate("dirwise::FilePropertiesDialog", " to ") + target;
    } else if (S_ISREG(st.st_mode)) {
        const QString mime = mimeOf(path);
        if (!mime.isEmpty())
            facts.type += u" ("_s + mime + u')';
    }
    const QLocale locale;
    const auto bytes = static_cast<qlonglong>(st.st_size);
    facts.size = bytes == 1
                     ? QCoreApplication::translate("dirwise::FilePropertiesDialog", "1 byte")
                     : QCoreApplication::translate("dirwise::FilePropertiesDialog", "%1 bytes")
                           .arg(numberText(bytes));
    if (bytes >= 1024)
        facts.size += u" (%1)"_s.arg(locale.formattedDataSize(bytes));
    // The form the results list shows dates in, so the window has one.
    facts.modified = dateTimeText(static_cast<std::int64_t>(st.st_mtime));
    facts.permissions = permissionText(st.st_mode);
    facts.owner =
        QCoreApplication::translate("dirwise::FilePropertiesDialog", "%1, group %2")
            .arg(named(userName(st.st_uid), st.st_uid), named(groupName(st.st_gid), st.st_gid));
    return facts;
}

FilePropertiesDialog::FilePropertiesDialog(const std::vector<std::string> &paths, QWidget *parent)
    : QDialog(parent) {
    setObjectName(u"dlgFileProperties"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    auto *outer = new QVBoxLayout(this);
    auto *groups = new QHBoxLayout;
    outer->addLayout(groups);

    QString firstName;
    for (size_t i = 0; i < paths.size(); ++i) {
        const FileFacts facts = describeFile(paths[i]);
        if (i == 0)
            firstName = QFileInfo(facts.path).fileName();
        QString title = tr("File");
        if (paths.size() == 2)
            title = i == 0 ? tr("Master file") : tr("Compare file");
        else if (paths.size() > 2)
            title = tr("File %1").arg(i + 1);
        auto *box = new QGroupBox(title, this);
        auto *form = new QFormLayout(box);
        Row row;
        // A line edit lets a long path scroll and be copied whole.
        row.path = new QLineEdit(facts.path, box);
        row.path->setReadOnly(true);
        row.path->setCursorPosition(0);
        row.path->setMinimumWidth(row.path->fontMetrics().averageCharWidth() * 48);
        row.type = valueLabel(box, facts.type);
        row.size = valueLabel(box, facts.size);
        row.modified = valueLabel(box, facts.modified);
        row.permissions = valueLabel(box, facts.permissions);
        row.owner = valueLabel(box, facts.owner);
        form->addRow(tr("Path:"), row.path);
        form->addRow(tr("Type:"), row.type);
        form->addRow(tr("Size:"), row.size);
        form->addRow(tr("Modified:"), row.modified);
        form->addRow(tr("Permissions:"), row.permissions);
        form->addRow(tr("Owner:"), row.owner);
        groups->addWidget(box);
        m_rows.push_back(row);
    }

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    outer->addWidget(buttons);

    setWindowTitle(firstName.isEmpty() ? tr("Properties") : tr("Properties of %1").arg(firstName));
}

int FilePropertiesDialog::fileCount() const { return static_cast<int>(m_rows.size()); }

QString FilePropertiesDialog::fieldText(int index, Field field) const {
    if (index < 0 || index >= fileCount())
        return QString();
    const Row &row = m_rows[static_cast<size_t>(index)];
    switch (field) {
    case Field::Path:
        return row.path->text();
    case Field::Type:
        return row.type->text();
    case Field::Size:
        return row.size->text();
    case Field::Modified:
        return row.modified->text();
    case Field::Permissions:
        return row.permissions->text();
    case Field::Owner:
        return row.owner->text();
    }
    return QString();
}

void showFileProperties(QWidget *owner, const std::string &masterPath,
                        const std::string &comparePath) {
    if (masterPath.empty())
        return;
    std::vector<std::string> paths{masterPath};
    if (!comparePath.empty())
        paths.push_back(comparePath);
    // The request owns itself; nobody here needs to hear how it ended.
    (void)PropertiesRequest::start(owner, paths, QDBusConnection::sessionBus());
}

PropertiesRequest::PropertiesRequest(QWidget *owner, std::vector<std::string> paths)
    : QObject(QCoreApplication::instance()), m_owner(owner), m_paths(std::move(paths)),
      m_taken(m_paths.size(), false), m_pending(m_paths.size()) {}

PropertiesRequest *PropertiesRequest::start(QWidget *owner, const std::vector<std::string> &paths,
                                            const QDBusConnection &bus, int timeoutMs) {
    std::vector<std::string> kept;
    for (const std::string &path : paths) {
        if (!path.empty())
            kept.push_back(path);
    }
    auto *request = new PropertiesRequest(owner, std::move(kept));
    if (request->m_paths.empty() || !bus.isConnected()) {
        // No session bus: answer from the event loop, as a bus error would be, so the
        // caller has connected by then.
        QTimer::singleShot(0, request, [request] {
            for (size_t i = 0; i < request->m_paths.size(); ++i)
                request->answered(i, false);
            if (request->m_paths.empty())
                request->answered(0, false);
        });
        return request;
    }
    // One call per file: a file manager shows several files in one call as one summed-up
    // selection, while the user here wants to see the two files side by side.
    for (size_t i = 0; i < request->m_paths.size(); ++i) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QLatin1StringView(service), QLatin1StringView(objectPath), QLatin1StringView(interface),
            u"ShowItemProperties"_s);
        call << QStringList{fileUri(request->m_paths[i])} << QString();
        // Asynchronous with a deadline: a hung file manager can neither freeze the window
        // nor leave the user without an answer.
        auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, timeoutMs), request);
        connect(watcher, &QDBusPendingCallWatcher::finished, request, [request, watcher, i] {
            watcher->deleteLater();
            // ServiceUnknown (no file manager), NoReply (too slow), UnknownMethod
            // (a manager without this call): all mean "show our own".
            request->answered(i, !watcher->isError());
        });
    }
    return request;
}

void PropertiesRequest::answered(size_t index, bool taken) {
    if (index < m_taken.size())
        m_taken[index] = taken;
    if (m_pending > 0)
        --m_pending;
    if (m_pending > 0)
        return;
    std::vector<std::string> missed;
    for (size_t i = 0; i < m_paths.size(); ++i) {
        if (!m_taken[i])
            missed.push_back(m_paths[i]);
    }
    FilePropertiesDialog *dialog = nullptr;
    if (!missed.empty()) {
        dialog = new FilePropertiesDialog(missed, m_owner.data());
        dialog->show();
    }
    emit finished(dialog);
    deleteLater();
}

QString PropertiesRequest::fileUri(const std::string &path) {
    // Byte-wise percent-encoding keeps names that are not UTF-8 exact, which a QUrl built
    // from a decoded QString would not.
    QByteArray bytes = QByteArray::fromStdString(path);
    if (!bytes.startsWith('/'))
        bytes = QFile::encodeName(QDir::currentPath()) + '/' + bytes;
    const QByteArray encoded = bytes.toPercentEncoding("/");
    return u"file://"_s + QString::fromLatin1(encoded);
}

} // namespace dirwise
