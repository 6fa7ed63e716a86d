#include "Roots.h"

#include "Io.h"
#include "LiveSource.h"
#include "Messages.h"
#include "SnapshotIndex.h"
#include "TextForms.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirwise::cli {
namespace {

int tell(const std::string &message) {
    (void)WriteAll(STDERR_FILENO, "dwc: " + message + "\n");
    return 2;
}

// The last non-empty line of `text`, which is where ssh and shells put their reason.
std::string lastLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    const std::size_t nl = text.rfind('\n');
    return nl == std::string::npos ? text : text.substr(nl + 1);
}

// Whether pipe `fd` has bytes to read, waiting until it has or its writer is gone.
bool firstBytes(int fd) {
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, -1) < 0)
        if (errno != EINTR)
            return true; // cannot tell: the reader finds out
    return (p.revents & POLLIN) != 0;
}

std::string loadError(const std::string &given, std::int64_t line, const std::string &error) {
    return line > 0 ? Format(_("snapshot %s: line %s: %s"),
                             {EscapeForDisplay(given), std::to_string(line), error})
                    : Format(_("snapshot %s: %s"), {EscapeForDisplay(given), error});
}

// A snapshot in the walk's order is read as the walk needs it; one in another order or form
// is read whole into memory.
std::shared_ptr<const SnapshotData> loadFile(int fd, const std::string &given, std::string &error) {
    auto index = std::make_shared<SnapshotIndex>();
    switch (index->Load(fd)) {
    case SnapshotIndex::Outcome::Indexed:
        return index;
    case SnapshotIndex::Outcome::Failed:
        error = loadError(given, index->errorLine(), index->error());
        return nullptr;
    case SnapshotIndex::Outcome::NotWalkOrder:
        break;
    }
    index.reset();
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        error = loadError(given, 0, ErrorText(errno));
        return nullptr;
    }
    auto tree = std::make_shared<SnapshotTree>();
    MtreeReader reader(fd);
    struct stat st {};
    if (tree->Load(reader, ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0))
        return tree;
    error = loadError(given, tree->errorLine(), tree->error());
    return nullptr;
}

int openSnapshot(int fd, const std::string &given, const CliOptions &o, OpenedRoot &out) {
    std::string error;
    auto tree = loadFile(fd, given, error);
    if (!tree)
        return tell(error);
    if (o.compare.verifyContents && !tree->DigestsComplete())
        return tell(Format(_("snapshot %s has no sha256 digest for some files, which --verify "
                             "needs; write one with: dwc --snapshot --verify FOLDER -o FILE"),
                           {EscapeForDisplay(given)}));
    if (o.compare.matchDate && !tree->TimesComplete())
        return tell(Format(_("snapshot %s has no modification time for some entries, which "
                             "--date needs; write one with: dwc --snapshot FOLDER -o FILE"),
                           {EscapeForDisplay(given)}));
    std::promise<std::shared_ptr<const SnapshotData>> ready;
    ready.set_value(std::move(tree));
    out.source = std::make_unique<SnapshotSource>(given, ready.get_future().share());
    return 0;
}

std::vector<std::string> transportWords(const CliOptions &o) {
    const char *env = std::getenv("DWC_RSH");
    const std::string text = !o.rsh.empty() ? o.rsh : env && *env ? env : "ssh";
    std::vector<std::string> words;
    if (!SplitCommand(text, words))
        words.clear();
    return words;
}

} // namespace

int OpenRoot(const std::string &given, const char *which, const CliOptions &o, OpenedRoot &out) {
    const bool master = std::string(which) == "master";
    if (IsRemoteRoot(given)) {
        RemoteRoot remote;
        std::string error;
        if (!ParseRemoteRoot(given, remote, error))
            return tell(Format(_("remote root %s: %s"), {EscapeForDisplay(given), error}));
        const std::vector<std::string> rsh = transportWords(o);
        if (rsh.empty())
            return tell(_("the remote shell command (--rsh or DWC_RSH) has an open quote"));
        out.m_remote =
            std::make_unique<RemoteSnapshot>(rsh, remote, o.remoteDwc, o.compare.verifyContents);
        if (!out.m_remote->Start(error))
            return tell(Format(_("remote root %s: %s"), {EscapeForDisplay(given), error}));
        // A transport that fails (no such host, no route, refused, no dwc or no such folder
        // there) fails before its first line: wait for that, so such a root is refused as a
        // missing folder is, before anything is compared and with nothing on standard output.
        if (!firstBytes(out.m_remote->fd())) {
            std::string said;
            const int status = out.m_remote->Finish(said);
            out.m_remote.reset();
            const std::string reason =
                !lastLine(said).empty()
                    ? lastLine(said)
                    : Format(_("the remote side ended with status %s"), {std::to_string(status)});
            return tell(Format(_("remote root %s: %s"), {EscapeForDisplay(given), reason}));
        }
        auto loaded = std::make_shared<std::promise<std::shared_ptr<const SnapshotData>>>();
        out.source = std::make_unique<SnapshotSource>(given, loaded->get_future().share());
        out.m_loader = std::thread([&out, loaded, given] {
            auto tree = std::make_shared<SnapshotTree>();
            MtreeReader reader(out.m_remote->fd());
            if (tree->Load(reader)) {
                loaded->set_value(std::move(tree));
                return;
            }
            out.m_loadError =
                Format(_("line %s: %s"), {std::to_string(tree->errorLine()), tree->error()});
            loaded->set_value(nullptr);
        });
        return 0;
    }
    UniqueFd fd(::open(given.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (fd && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode)) {
        std::string head(4096, '\0');
        const ssize_t n = ::pread(fd.get(), head.data(), head.size(), 0);
        head.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
        if (!LooksLikeManifest(head))
            return tell(Format(master ? _("master root %s: not a folder or snapshot")
                                      : _("compare root %s: not a folder or snapshot"),
                               {EscapeForDisplay(given)}));
        return openSnapshot(fd.get(), given, o, out);
    }
    if (const int err = CheckRoot(NormalizeRoot(given)))
        return tell(Format(master ? _("master directory %s: %s") : _("compare directory %s: %s"),
                           {EscapeForDisplay(given), ErrorText(err)}));
    out.source = std::make_unique<LiveSource>(NormalizeRoot(given));
    out.live = true;
    return 0;
}

void OpenedRoot::Stop() {
    if (m_remote)
        m_remote->Stop();
}

std::string OpenedRoot::Finish() {
    if (!m_remote || m_finished)
        return m_finishError;
    m_finished = true;
    if (m_loader.joinable())
        m_loader.join();
    std::string said;
    const int status = m_remote->Finish(said);
    if (status != 0 && !lastLine(said).empty())
        m_finishError = lastLine(said);
    else if (status != 0)
        m_finishError = Format(_("the remote side ended with status %s"), {std::to_string(status)});
    else
        m_finishError = m_loadError;
    return m_finishError;
}

OpenedRoot::~OpenedRoot() {
    if (m_remote && !m_finished) {
        m_remote->Stop();
        (void)Finish();
    }
}

} // namespace dirwise::cli
