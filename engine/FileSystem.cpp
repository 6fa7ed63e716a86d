#include "FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace dirwise {
namespace {

// The devices of the devtmpfs mounts (/dev), which statfs cannot tell from a plain tmpfs.
std::vector<dev_t> devtmpfsDevices() {
    std::vector<dev_t> devices;
    std::ifstream mounts("/proc/self/mountinfo");
    std::string line;
    while (std::getline(mounts, line)) {
        // "id parent major:minor root point options [optional...] - fstype source super"
        const auto dash = line.find(" - ");
        if (dash == std::string::npos || line.compare(dash + 3, 9, "devtmpfs ") != 0)
            continue;
        unsigned major = 0, minor = 0;
        if (std::sscanf(line.c_str(), "%*u %*u %u:%u", &major, &minor) == 2)
            devices.push_back(makedev(major, minor));
    }
    return devices;
}

// One name of a listing into `out`, its type resolved by WalkEnters' rule.
void addEntry(int fd, const char *name, std::size_t len, unsigned char type, FolderListing &out) {
    bool isDir = type == DT_DIR;
    bool viaLink = false;
    if (type == DT_LNK || type == DT_UNKNOWN) {
        struct stat st {};
        isDir = ::fstatat(fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        struct stat own {};
        viaLink = isDir &&
                  (type == DT_LNK ||
                   (::fstatat(fd, name, &own, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(own.st_mode)));
    }
    out.entries.push_back({static_cast<std::uint32_t>(out.names.size()),
                           static_cast<std::uint32_t>(len), isDir, viaLink});
    out.names.append(name, len);
}

} // namespace

bool LinkMayBeEntered(int fd, bool viaLink) { return !viaLink || !IsPseudoFileSystem(fd); }

bool IsPseudoFileSystem(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x9fa0:     // proc
    case 0x62656572: // sysfs
    case 0x27e0eb:   // cgroup
    case 0x63677270: // cgroup2
    case 0x64626720: // debugfs
    case 0x74726163: // tracefs
    case 0x73636673: // securityfs
    case 0x6165676c: // pstore
    case 0xcafe4a11: // bpf
    case 0x62656570: // configfs
    case 0x1cd1:     // devpts
    case 0x19800202: // mqueue
    case 0xf97cff8c: // selinuxfs
    case 0xde5e81e4: // efivarfs
    case 0x65735543: // fusectl
    case 0x42494e4d: // binfmt_misc
        return true;
    case 0x01021994: { // tmpfs, or devtmpfs
        static const std::vector<dev_t> devtmpfs = devtmpfsDevices();
        struct stat st {};
        return ::fstat(fd, &st) == 0 &&
               std::find(devtmpfs.begin(), devtmpfs.end(), st.st_dev) != devtmpfs.end();
    }
    default:
        return false;
    }
}

int FolderIdentity(int fd, std::uint64_t &device, std::uint64_t &inode) {
    struct statx stx {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_INO, &stx) == 0) {
        device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
        inode = stx.stx_ino;
        return 0;
    }
    if (errno != ENOSYS)
        return errno;
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return errno;
    device = st.st_dev;
    inode = st.st_ino;
    return 0;
}

int ReadListing(int fd, FolderListing &out, std::vector<char> &buffer) {
    out.names.clear();
    out.entries.clear();
    out.error =
        ForEachName(fd, buffer, [&](const char *name, std::size_t length, unsigned char type) {
            addEntry(fd, name, length, type, out);
        });
    SortByName(out.names.data(), out.entries);
    return out.error;
}

OpenedFile OpenRegular(int dir, const char *name, std::int64_t sequentialFrom) {
    OpenedFile file;
    file.fd.reset(::openat(dir, name, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!file.fd) {
        file.error = errno;
        return file;
    }
    struct stat st {};
    if (::fstat(file.fd.get(), &st) != 0) {
        file.error = errno;
        file.fd.reset();
        return file;
    }
    if (!S_ISREG(st.st_mode)) {
        file.regular = false;
        file.fd.reset();
        return file;
    }
    file.size = st.st_size;
    if (file.size > sequentialFrom) // one read needs no read-ahead advice
        ::posix_fadvise(file.fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return file;
}

int CheckRoot(const std::string &path) {
    if (path.empty())
        return ENOENT;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    return ::faccessat(AT_FDCWD, path.c_str(), R_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
}

RootIdentity TakeRootIdentity(const std::string &path) {
    RootIdentity id;
    struct statx st {};
    if (path.empty() || ::statx(AT_FDCWD, path.c_str(), 0, STATX_TYPE | STATX_INO, &st) != 0 ||
        !S_ISDIR(st.stx_mode))
        return id;
    id.known = true;
    id.device = ::makedev(st.stx_dev_major, st.stx_dev_minor);
    id.inode = st.stx_ino;
    id.mountPoint = (st.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
                    (st.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    return id;
}

bool SameRoot(const std::string &path, const RootIdentity &noted) {
    const RootIdentity now = TakeRootIdentity(path);
    if (!noted.known || !now.known)
        return now.known;
    return now.device == noted.device && now.inode == noted.inode &&
           (now.mountPoint || !noted.mountPoint);
}

bool IsDirectory(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string &path) {
    if (path.empty())
        return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return ::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0;
}

} // namespace dirwise
