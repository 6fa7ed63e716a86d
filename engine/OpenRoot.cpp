#include "OpenRoot.h"

#include "CompareRules.h"
#include "FileSystem.h"
#include "Io.h"
#include "LiveSource.h"
#include "MtreeReader.h"
#include "SnapshotStream.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace dirwise {
namespace {

// The last non-empty line of `text`, which is where ssh and shells put their reason.
std::string lastLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    const std::size_t nl = text.rfind('\n');
    return nl == std::string::npos ? text : text.substr(nl + 1);
}

RootProblem problem(RootFault fault, std::string detail = {}, std::int64_t line = 0, int error = 0,
                    int status = 0) {
    return RootProblem{fault, std::move(detail), line, error, status};
}

template <class Loaded> RootProblem brokenAt(const Loaded &tree) {
    return problem(RootFault::SnapshotBroken, tree.error(),
                   static_cast<std::int64_t>(tree.errorLine()));
}

// Whether `tree` has what `request` needs of a snapshot file.
RootProblem lacking(const SnapshotData &tree, const RootRequest &request) {
    if (request.digests && !tree.DigestsComplete())
        return problem(RootFault::SnapshotWithoutDigests);
    if (request.times && !tree.TimesComplete())
        return problem(RootFault::SnapshotWithoutTimes);
    return {};
}

using LoadedPromise = std::promise<std::shared_ptr<const SnapshotData>>;

// A snapshot file in the walk's order is read in one pass, its folders kept up to a budget
// and the rest read again as asked; one in another order or form is read whole into memory.
// Null with `broken` set when it cannot be read.
std::shared_ptr<const SnapshotData> loadFile(int fd, RootProblem &broken) {
    auto stream = std::make_shared<SnapshotStream>(UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 0)), true);
    switch (stream->Read()) {
    case SnapshotStream::Outcome::Complete:
        return stream;
    case SnapshotStream::Outcome::Failed:
        broken = brokenAt(*stream);
        return nullptr;
    case SnapshotStream::Outcome::NotWalkOrder:
        break;
    }
    stream.reset();
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        broken = problem(RootFault::SnapshotBroken, {}, 0, errno);
        return nullptr;
    }
    auto tree = std::make_shared<SnapshotTree>();
    MtreeReader reader(fd);
    struct stat st {};
    if (tree->Load(reader, ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0))
        return tree;
    broken = brokenAt(*tree);
    return nullptr;
}

// Whether pipe `fd` has bytes to read, waiting until it has or its writer is gone.
bool firstBytes(int fd) {
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, -1) < 0)
        if (errno != EINTR)
            return true; // cannot tell: the reader finds out
    return (p.revents & POLLIN) != 0;
}

} // namespace

std::vector<std::string> TransportWords(const std::string &rsh) {
    const char *env = std::getenv("DWC_RSH");
    const std::string text = !rsh.empty() ? rsh : env && *env ? env : "ssh";
    std::vector<std::string> words;
    if (!SplitCommand(text, words))
        words.clear();
    return words;
}

void OpenedRoot::startLoader(int fd) {
    auto loaded = std::make_shared<LoadedPromise>();
    m_tree = loaded->get_future().share();
    m_background = true;
    m_loader = std::thread([this, loaded, fd] {
        const UniqueFd owned(fd);
        RootProblem broken;
        auto data = loadFile(fd, broken);
        if (!data)
            m_loadProblem = broken; // read by the owner only after the future is ready
        loaded->set_value(std::move(data));
    });
}

void OpenedRoot::startStream() {
    // The stream is handed to the run at once: its questions wait for the folders they need.
    m_stream = std::make_shared<SnapshotStream>(
        UniqueFd(::fcntl(m_remote->fd(), F_DUPFD_CLOEXEC, 0)), false);
    // The bytes ending is not enough: the remote dwc says with its status that it wrote all.
    m_stream->SetEndCheck([remote = m_remote.get()](std::string &why) {
        std::string said;
        const int status = remote->Finish(said);
        if (status == 0)
            return true;
        why = "the remote side ended with status " + std::to_string(status);
        return false;
    });
    std::promise<std::shared_ptr<const SnapshotData>> ready;
    ready.set_value(m_stream);
    m_tree = ready.get_future().share();
    m_loader = std::thread([stream = m_stream] { (void)stream->Read(); });
}

RootProblem OpenRoot(const std::string &given, const RootRequest &request, OpenedRoot &out) {
    out.m_request = request;
    if (IsRemoteRoot(given)) {
        RemoteRoot remote;
        std::string error;
        if (!ParseRemoteRoot(given, remote, error))
            return problem(RootFault::RemoteInvalid, error);
        if (request.transport.empty())
            return problem(RootFault::TransportQuote);
        out.m_remote = std::make_unique<RemoteSnapshot>(request.transport, remote,
                                                        request.remoteDwc, request.digests);
        if (!out.m_remote->Start(error))
            return problem(RootFault::TransportStart, error);
        // A transport that fails (no such host, no route, refused, no dwc or no such folder
        // there) fails before its first line. A caller that may wait learns it now, so such a
        // root is refused as a missing folder is, before anything is compared.
        if (!request.loadInBackground && !firstBytes(out.m_remote->fd())) {
            std::string said;
            const int status = out.m_remote->Finish(said);
            out.m_remote.reset();
            return problem(RootFault::RemoteEnded, lastLine(said), 0, 0, status);
        }
        out.remote = true;
        out.startStream();
        out.source = std::make_unique<SnapshotSource>(given, out.m_tree);
        return {};
    }
    UniqueFd fd(::open(given.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    const int openError = fd ? 0 : errno;
    struct stat st {};
    // A file that cannot be opened may well be a snapshot: its trouble is told, not "no folder".
    if (!fd && ::stat(given.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return problem(RootFault::FolderUnusable, {}, 0, openError);
    if (fd && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode)) {
        std::string head(4096, '\0');
        const ssize_t n = ::pread(fd.get(), head.data(), head.size(), 0);
        head.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
        if (!LooksLikeManifest(head))
            return problem(RootFault::NotFolderOrSnapshot);
        if (request.loadInBackground) {
            out.startLoader(fd.release());
            out.source = std::make_unique<SnapshotSource>(given, out.m_tree);
            return {};
        }
        RootProblem broken;
        std::shared_ptr<const SnapshotData> tree = loadFile(fd.get(), broken);
        if (!tree)
            return broken;
        if (RootProblem problem = lacking(*tree, request))
            return problem;
        LoadedPromise ready;
        ready.set_value(std::move(tree));
        out.m_tree = ready.get_future().share();
        out.source = std::make_unique<SnapshotSource>(given, out.m_tree);
        return {};
    }
    if (const int err = CheckRoot(NormalizeRoot(given)))
        return problem(RootFault::FolderUnusable, {}, 0, err);
    out.source = std::make_unique<LiveSource>(NormalizeRoot(given));
    out.live = true;
    return {};
}

bool OpenedRoot::Ready() const {
    if (m_stream) // a remote tree serves as it arrives, once it has begun to
        return m_request.walked ? m_stream->Finished() : m_stream->Started();
    return !m_tree.valid() || m_tree.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

RootProblem OpenedRoot::Checked() {
    if (m_stream) // a transport that failed ends before the root's line
        return m_stream->Finished() && m_stream->outcome() != SnapshotStream::Outcome::Complete
                   ? Finish()
                   : RootProblem{};
    if (!m_background)
        return {};
    const std::shared_ptr<const SnapshotData> &tree = m_tree.get();
    if (tree)
        return lacking(*tree, m_request);
    if (m_loader.joinable())
        m_loader.join();
    return m_loadProblem;
}

void OpenedRoot::Stop() {
    if (m_stream)
        m_stream->Cancel();
    if (m_remote)
        m_remote->Stop();
}

RootProblem OpenedRoot::Finish() {
    if (!m_remote || m_finished)
        return m_finishProblem;
    m_finished = true;
    if (m_loader.joinable())
        m_loader.join();
    std::string said;
    const int status = m_remote->Finish(said);
    if (status != 0)
        m_finishProblem = problem(RootFault::RemoteEnded, lastLine(said), 0, 0, status);
    else if (m_stream->outcome() != SnapshotStream::Outcome::Complete)
        m_finishProblem = brokenAt(*m_stream);
    return m_finishProblem;
}

OpenedRoot::~OpenedRoot() {
    if (m_remote && !m_finished) {
        Stop();
        (void)Finish();
    }
    if (m_loader.joinable())
        m_loader.join();
}

} // namespace dirwise
