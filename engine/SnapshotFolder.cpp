#include "SnapshotFolder.h"

#include "FileSystem.h"
#include "MtreeReader.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace dirwise {
namespace {

EntryType typeOf(mode_t mode) {
    if (S_ISDIR(mode))
        return EntryType::Dir;
    if (S_ISLNK(mode))
        return EntryType::Link;
    if (S_ISBLK(mode))
        return EntryType::Block;
    if (S_ISCHR(mode))
        return EntryType::Char;
    if (S_ISFIFO(mode))
        return EntryType::Fifo;
    if (S_ISSOCK(mode))
        return EntryType::Socket;
    return EntryType::File;
}

template <typename Number> void appendNumber(std::string &out, Number n) {
    char text[24];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, n);
    out.append(text, end);
}

// Appends " type=... size=... time=... link=..." and the newline. False (errno set) when
// a link's target cannot be read: then nothing is appended.
bool appendFacts(std::string &out, int dirFd, const char *name, const struct stat &st) {
    const EntryType type = typeOf(st.st_mode);
    char target[PATH_MAX];
    ssize_t length = 0;
    if (type == EntryType::Link) {
        length = ::readlinkat(dirFd, name, target, sizeof target);
        if (length <= 0 || static_cast<std::size_t>(length) == sizeof target) {
            errno = length < 0 ? errno : length == 0 ? EINVAL : ENAMETOOLONG;
            return false;
        }
    }
    out += " type=";
    out += EntryTypeName(type);
    if (type == EntryType::File) {
        out += " size=";
        appendNumber(out, static_cast<std::int64_t>(st.st_size));
    }
    out += " time=";
    AppendSnapshotTime(out, {st.st_mtim.tv_sec, static_cast<std::int32_t>(st.st_mtim.tv_nsec)});
    if (type == EntryType::Link) {
        out += " link=";
        AppendMtreeName(out, {target, static_cast<std::size_t>(length)});
    }
    out += '\n';
    return true;
}

// The names of a folder, packed, each ending in NUL (for the calls that take them).
struct Names {
    struct Name {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
        unsigned char type = DT_UNKNOWN;
    };
    std::string bytes;
    std::vector<Name> names;
    [[nodiscard]] const char *at(const Name &n) const { return bytes.data() + n.offset; }
};

// Reads the names of open folder `fd` into `out`, sorted by bytes, without "." and "..".
// Returns 0, or the errno of a listing that failed part way.
int readNames(int fd, Names &out, std::vector<char> &buffer) {
    const int error =
        ForEachName(fd, buffer, [&](const char *name, std::size_t length, unsigned char type) {
            out.names.push_back({static_cast<std::uint32_t>(out.bytes.size()),
                                 static_cast<std::uint32_t>(length), type});
            out.bytes.append(name, length + 1);
        });
    SortByName(out.bytes.data(), out.names);
    return error;
}

} // namespace

std::string JoinedPath(std::string_view path, std::string_view name) {
    std::string out(path);
    if (!out.empty())
        out += '/';
    out += name;
    return out;
}

std::size_t SnapshotFolder::bytes() const {
    std::size_t n = lines.capacity() + folders.capacity() * sizeof(std::string);
    for (const std::string &f : folders)
        n += f.size();
    return n + missed.size() * sizeof(Missed) + files.size() * sizeof(File);
}

void AppendMtreeName(std::string &out, std::string_view name) {
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= ' ' || c >= 0177 || c == '#' || c == '=' || c == '\\') {
            const char escaped[4] = {'\\', static_cast<char>('0' + (c >> 6)),
                                     static_cast<char>('0' + ((c >> 3) & 7)),
                                     static_cast<char>('0' + (c & 7))};
            out.append(escaped, 4);
        } else {
            out += ch;
        }
    }
}

void ReadSnapshotFolder(int fd, std::string_view path, bool digests, std::vector<char> &buffer,
                        SnapshotFolder &out) {
    out = SnapshotFolder{};
    // "./a/b/": every line of its entries starts so.
    std::string prefix = "./";
    AppendMtreeName(prefix, path);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        out.missed.push_back({std::string(path), errno});
    } else {
        out.lines.append(path.empty() ? std::string_view(".") : std::string_view(prefix));
        if (appendFacts(out.lines, AT_FDCWD, "", st))
            ++out.lineCount;
    }
    if (!path.empty())
        prefix += '/';
    Names names;
    out.listError = readNames(fd, names, buffer);
    out.lines.reserve(out.lines.size() + names.names.size() * (prefix.size() + 48));
    for (const Names::Name &n : names.names) {
        const char *name = names.at(n);
        if (n.type == DT_DIR) {
            out.folders.emplace_back(name, n.length);
            continue;
        }
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            out.missed.push_back({JoinedPath(path, {name, n.length}), errno});
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            out.folders.emplace_back(name, n.length);
            continue;
        }
        const std::size_t start = out.lines.size();
        out.lines += prefix;
        AppendMtreeName(out.lines, {name, n.length});
        if (!appendFacts(out.lines, fd, name, st)) {
            out.lines.resize(start);
            out.missed.push_back({JoinedPath(path, {name, n.length}), errno});
            continue;
        }
        if (digests && S_ISREG(st.st_mode))
            out.files.push_back({out.lineCount, std::string(name, n.length)});
        ++out.lineCount;
    }
}

void DescribeUnopened(int dirFd, const char *name, std::string_view path, int error,
                      SnapshotFolder &out) {
    out = SnapshotFolder{};
    out.openError = error;
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return; // gone: no line
    out.lines = "./";
    AppendMtreeName(out.lines, path);
    if (appendFacts(out.lines, dirFd, name, st))
        out.lineCount = 1;
    else
        out.lines.clear();
}

int OpenBeneath(int rootFd, const std::string &path) {
    open_how how{};
    how.flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    for (;;) {
        const long fd = ::syscall(SYS_openat2, rootFd, path.c_str(), &how, sizeof how);
        if (fd >= 0 || errno != EINTR)
            return static_cast<int>(fd);
    }
}

} // namespace dirwise
