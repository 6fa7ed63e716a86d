#include "modDialog32.h"

#include "Prompts.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QSysInfo>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace dirwise::modDialog32 {

QString BrowseForFolder(QWidget *owner, const QString &title, const QString &initialDir) {
    return prompts().browseForFolder(owner, title, initialDir);
}

QString ShowFileDialog(QWidget *owner, const QString &title, const QString &initialName,
                       const QString &filter) {
    return prompts().saveFileName(owner, title, initialName, filter);
}

void ShowFileProperties(QWidget *owner, const std::string &masterPath,
                        const std::string &comparePath) {
    if (masterPath.empty())
        return;
    std::vector<std::string> paths{masterPath};
    if (!comparePath.empty())
        paths.push_back(comparePath);
    // The request owns itself; nobody here needs to hear how it ended.
    (void)PropertiesRequest::start(owner, paths, QDBusConnection::sessionBus());
}

void ShowShellAbout(const QString &appText, const QString &otherText) {
    QString text = appText;
    if (!otherText.isEmpty())
        text += u'\n' + otherText;
    text += u"\n\n"_s + QSysInfo::prettyProductName();
    text += u"\n%1 %2 (%3)"_s.arg(QSysInfo::kernelType(), QSysInfo::kernelVersion(),
                                  QSysInfo::currentCpuArchitecture());
    text += u"\nQt %1"_s.arg(QLibraryInfo::version().toString());
    prompts().message(nullptr, Prompts::Icon::Information, u"About %1"_s.arg(appText), text);
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

} // namespace dirwise::modDialog32
