#include "RemoteRoot.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dirwise {

bool IsRemoteRoot(std::string_view root) {
    const std::size_t colon = root.find(':');
    return colon != std::string_view::npos && colon < root.find('/');
}

bool ParseRemoteRoot(std::string_view root, RemoteRoot &out, std::string &error) {
    const std::size_t colon = root.find(':');
    out.destination = root.substr(0, colon);
    out.path = root.substr(colon + 1);
    const std::size_t at = out.destination.rfind('@');
    const std::string_view host =
        std::string_view(out.destination).substr(at == std::string::npos ? 0 : at + 1);
    if (host.empty())
        error = "a remote root needs a host before the colon";
    else if (host.front() == '-')
        error = "a host cannot begin with \"-\"";
    else
        return true;
    return false;
}

std::string ShellQuote(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string RemoteCommand(const std::string &remoteDwc, const std::string &path, bool digests) {
    std::string quoted;
    if (path.empty() || path == "~")
        quoted = path.empty() ? "." : "~";
    else if (path.starts_with("~/"))
        quoted = "~/" + ShellQuote(path.substr(2));
    else
        quoted = ShellQuote(path);
    return ShellQuote(remoteDwc) + " -q --snapshot" + (digests ? " --verify" : "") + " -- " +
           quoted;
}

bool SplitCommand(std::string_view text, std::vector<std::string> &words) {
    words.clear();
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else if (c == '\'') {
            const std::size_t end = text.find('\'', i + 1);
            if (end == std::string_view::npos)
                return false;
            word += text.substr(i + 1, end - i - 1);
            i = end;
            inWord = true;
        } else if (c == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size() &&
                    std::strchr("\\\"$`", text[i + 1]) != nullptr)
                    ++i;
                word += text[i];
            }
            if (i >= text.size())
                return false;
            inWord = true;
        } else if (c == '\\' && i + 1 < text.size()) {
            word += text[++i];
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return !words.empty();
}

RemoteSnapshot::RemoteSnapshot(std::vector<std::string> rsh, RemoteRoot root, std::string remoteDwc,
                               bool digests)
    : m_rsh(std::move(rsh)), m_root(std::move(root)), m_remoteDwc(std::move(remoteDwc)),
      m_digests(digests) {}

RemoteSnapshot::~RemoteSnapshot() {
    if (m_pid > 0) {
        Stop();
        std::string ignored;
        (void)Finish(ignored);
    }
    if (m_out >= 0)
        ::close(m_out);
}

bool RemoteSnapshot::Start(std::string &error) {
    std::vector<std::string> args = m_rsh;
    args.push_back(m_root.destination);
    args.push_back(RemoteCommand(m_remoteDwc, m_root.path, m_digests));
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return error = std::strerror(errno), false;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        ::close(out[0]), ::close(out[1]);
        return false;
    }
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    m_pid = ::fork();
    if (m_pid == 0) {
        // Only async-signal-safe calls until exec. The transport reads no standard input:
        // a password prompt goes to the terminal, as ssh does it.
        ::dup2(null, 0), ::dup2(out[1], 1), ::dup2(err[1], 2);
        ::signal(SIGPIPE, SIG_DFL);
        ::execvp(argv[0], argv.data());
        const char *why = std::strerror(errno);
        (void)!::write(2, argv[0], std::strlen(argv[0]));
        (void)!::write(2, ": ", 2);
        (void)!::write(2, why, std::strlen(why));
        ::_exit(127);
    }
    const int forkError = errno;
    ::close(null), ::close(out[1]), ::close(err[1]);
    if (m_pid < 0) {
        ::close(out[0]), ::close(err[0]);
        error = std::strerror(forkError);
        return false;
    }
    m_out = out[0];
    m_err = err[0];
    // Standard error is read beside the stream, so a chatty transport never blocks on it.
    m_errReader = std::thread([this] {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(m_err, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            m_said.append(buffer, static_cast<std::size_t>(n));
            if (m_said.size() > 128 * 1024)
                m_said.erase(0, m_said.size() - 64 * 1024);
        }
    });
    return true;
}

void RemoteSnapshot::Stop() {
    const pid_t pid = m_pid.load();
    if (pid > 0)
        ::kill(pid, SIGTERM);
}

int RemoteSnapshot::Finish(std::string &said) {
    const std::lock_guard lock(m_finishLock);
    if (m_finished) {
        said = m_said;
        return m_status;
    }
    if (m_pid <= 0)
        return -1;
    // The stream is closed first: a transport still writing then ends instead of waiting.
    if (m_out >= 0)
        ::close(m_out);
    m_out = -1;
    int status = 0;
    pid_t got;
    do
        got = ::waitpid(m_pid, &status, 0);
    while (got < 0 && errno == EINTR);
    m_pid = -1;
    if (m_errReader.joinable())
        m_errReader.join();
    ::close(m_err);
    m_err = -1;
    said = m_said;
    m_finished = true;
    m_status = got < 0 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return m_status;
}

} // namespace dirwise
