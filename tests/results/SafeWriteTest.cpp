// The one safe way to replace a file: which targets are replaced and which are written in
// place, and that no failure or signal ever leaves a damaged file or a temporary one.

#include "SafeWrite.h"
#include "TempTree.h"

#include <filesystem>
#include <sched.h>
#include <sys/mount.h>

namespace dirwise::test {
namespace {

ByteProducer Bytes(std::string text) {
    return [text](const std::function<int(std::string_view)> &write) { return write(text); };
}

// How many entries directory `path` holds: a temporary file left behind shows here.
long Entries(const std::string &path) {
    return std::distance(std::filesystem::directory_iterator(path), {});
}

struct stat StatOf(const std::string &path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

constexpr uid_t Nobody = 65534;

class SafeWriteTest : public ::testing::Test {
protected:
    void SetUp() override { ::chmod(t.root().c_str(), 0777); }
    void TearDown() override { SetSyncForTests(nullptr); }
    // Saves "new" to `rel` and says whether the file was replaced (has a new inode).
    bool Replaced(const std::string &rel) {
        const ino_t before = StatOf(t.path(rel)).st_ino;
        EXPECT_EQ(SafeWrite(t.path(rel), Bytes("new"), SpecialTarget::Refuse), 0) << rel;
        EXPECT_EQ(ReadFile(t.path(rel)), "new") << rel;
        return StatOf(t.path(rel)).st_ino != before;
    }
    TempTree t;
};

TEST_F(SafeWriteTest, WhichTargetsAreReplacedWrittenInPlaceOrRefused) {
    const std::string old = "old contents, longer than the new";
    t.dir("d");
    WriteFile(t.path("d/f"), old);
    ::chmod(t.path("d/f").c_str(), 0604);
    t.symlink("d/link", "f");
    EXPECT_TRUE(Replaced("d/link"));
    EXPECT_EQ(StatOf(t.path("d/f")).st_mode & 07777, 0604u);
    EXPECT_EQ(Entries(t.path("d")), 2) << "a temporary file was left";
    // A second name sees the new bytes: the file was written in place.
    WriteFile(t.path("d/f"), old);
    ASSERT_EQ(::link(t.path("d/f").c_str(), t.path("d/g").c_str()), 0);
    EXPECT_FALSE(Replaced("d/f"));
    EXPECT_EQ(ReadFile(t.path("d/g")), "new");
    t.dir("sticky");
    ::chmod(t.path("sticky").c_str(), 01777);
    WriteFile(t.path("sticky/f"), "old");
    EXPECT_FALSE(Replaced("sticky/f"));
    // A dangling link names the file to make, which gets 0666 less the umask.
    t.symlink("d/dangling", "made");
    const mode_t mask = ::umask(027);
    EXPECT_EQ(SafeWrite(t.path("d/dangling"), Bytes("x"), SpecialTarget::Refuse), 0);
    ::umask(mask);
    EXPECT_EQ(ReadFile(t.path("d/made")), "x");
    EXPECT_EQ(StatOf(t.path("d/made")).st_mode & 07777, 0640u);
    struct stat st {};
    for (const char *link : {"d/link", "d/dangling"})
        EXPECT_TRUE(::lstat(t.path(link).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) << link;
    // A directory is refused; a FIFO is refused for settings, and for a report written in
    // place, which without a reader fails at once rather than hang.
    EXPECT_EQ(SafeWrite(t.path("d"), Bytes("x"), SpecialTarget::WriteInPlace), EISDIR);
    t.fifo("pipe");
    EXPECT_EQ(SafeWrite(t.path("pipe"), Bytes("x"), SpecialTarget::Refuse), EINVAL);
    EXPECT_EQ(SafeWrite(t.path("pipe"), Bytes("x"), SpecialTarget::WriteInPlace), ENXIO);
    EXPECT_TRUE(S_ISFIFO(StatOf(t.path("pipe")).st_mode));
}

// The user "nobody" saves into a writable file in a directory it may not write, and into
// root's group-writable file: both written in place, the file keeping its owner. Root's
// read-only file in a directory anybody may write is refused, not replaced.
TEST_F(SafeWriteTest, FilesAnotherUserMayWriteButNotReplaceAreWrittenInPlace) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make files another user may write but not replace";
    t.dir("locked");
    t.dir("shared");
    ::chmod(t.path("shared").c_str(), 0777);
    const std::tuple<const char *, mode_t, int, const char *> cases[] = {
        {"locked/f", 0666, 0, "new"},
        {"shared/f", 0664, 0, "new"},
        {"shared/ro", 0444, EACCES, "old"}};
    for (const auto &[rel, mode, error, content] : cases) {
        WriteFile(t.path(rel), "old");
        ASSERT_EQ(::chown(t.path(rel).c_str(), 0, Nobody), 0);
        ::chmod(t.path(rel).c_str(), mode);
        const ino_t before = StatOf(t.path(rel)).st_ino;
        const ChildResult r = RunInChild([&](std::string &) {
            if (!DropRootInChild() || ::geteuid() != Nobody)
                return 77; // could not become nobody
            return SafeWrite(t.path(rel), Bytes("new"), SpecialTarget::Refuse);
        });
        EXPECT_EQ(r.status, error) << rel << ": " << std::strerror(r.status);
        EXPECT_EQ(ReadFile(t.path(rel)), content) << rel;
        EXPECT_EQ(StatOf(t.path(rel)).st_uid, 0u) << rel << " changed hands";
        EXPECT_EQ(StatOf(t.path(rel)).st_ino, before) << rel;
    }
}

TEST_F(SafeWriteTest, AFailedFlushLeavesTheFolderAsItWas) {
    t.dir("d");
    WriteFile(t.path("d/f"), "old");
    ASSERT_EQ(::link(t.path("d/f").c_str(), t.path("d/g").c_str()), 0);
    WriteFile(t.path("d/single"), "old");
    SetSyncForTests([](int) {
        errno = EIO;
        return -1;
    });
    EXPECT_EQ(SafeWrite(t.path("d/single"), Bytes("new"), SpecialTarget::Refuse), EIO);
    EXPECT_EQ(ReadFile(t.path("d/single")), "old");
    EXPECT_EQ(SafeWrite(t.path("d/f"), Bytes("new"), SpecialTarget::Refuse), EIO);
    EXPECT_EQ(Entries(t.path("d")), 3);
}

// The last step, the rename into place, fails: the target is a mount point (another file
// bound over it, in the child's private mount namespace), which a rename cannot replace.
TEST_F(SafeWriteTest, AFailedRenameLeavesTheFolderAsItWas) {
    t.dir("d");
    WriteFile(t.path("d/f"), "old");
    WriteFile(t.path("over"), "bound over");
    static std::string target, over;
    target = t.path("d/f");
    over = t.path("over");
    const ChildResult r = RunInChild([&](std::string &out) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return 77;
        // Just before the rename: the new bytes are complete and flushed.
        SetSyncForTests(
            [](int) { return ::mount(over.c_str(), target.c_str(), nullptr, MS_BIND, nullptr); });
        const int err = SafeWrite(target, Bytes("new"), SpecialTarget::Refuse);
        ::umount(target.c_str());
        out = std::to_string(err) + " " + ReadFile(target) + " " +
              std::to_string(Entries(t.path("d")));
        return 0;
    });
    if (r.status == 77)
        GTEST_SKIP() << "no private mount namespace here (needs root)";
    EXPECT_EQ(r.out, std::to_string(EBUSY) + " old 1");
}

// In a child that first calls `limit` (false: this process cannot be limited), saves 200 KiB
// over a file that would be replaced and over a hard-linked one that would be written in
// place. Says for each the error and whether it kept its old bytes, then the entries left.
std::string SaveOverLimit(const TempTree &t, const std::function<bool()> &limit) {
    const std::string old(4096, 'o');
    const ChildResult r = RunInChild([&](std::string &out) {
        if (!limit())
            return 77;
        WriteFile(t.path("single"), old);
        WriteFile(t.path("f"), old);
        if (::link(t.path("f").c_str(), t.path("g").c_str()) != 0)
            return 78;
        for (const char *name : {"single", "f"}) {
            const int err =
                SafeWrite(t.path(name), Bytes(std::string(200 * 1024, 'n')), SpecialTarget::Refuse);
            out += std::to_string(err) + (ReadFile(t.path(name)) == old ? " old " : " changed ");
        }
        out += std::to_string(Entries(t.root()));
        return 0;
    });
    return r.status == 0 ? r.out : "status " + std::to_string(r.status);
}

TEST_F(SafeWriteTest, AFileSizeLimitOrAFullDiskFailsBeforeAnyFileChanges) {
    const std::string tooBig = std::to_string(EFBIG), full = std::to_string(ENOSPC);
    const auto sizeLimit = [] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{65536, 65536};
        return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    };
    EXPECT_EQ(SaveOverLimit(t, sizeLimit), tooBig + " old " + tooBig + " old 3");
    // A private mount of a tiny tmpfs: nothing outside the child sees it.
    const std::string disk = SaveOverLimit(t, [&] {
        return ::unshare(CLONE_NEWNS) == 0 &&
               ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
               ::mount("none", t.root().c_str(), "tmpfs", 0, "size=64k") == 0;
    });
    if (disk == "status 77")
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    EXPECT_EQ(disk, full + " old " + full + " old 3");
}

TEST_F(SafeWriteTest, ASignalDuringTheSaveWaitsForTheSaveToFinish) {
    t.dir("d");
    WriteFile(t.path("d/f"), "old");
    const ChildResult r = RunInChild([&](std::string &) {
        const ByteProducer raising = [](const std::function<int(std::string_view)> &write) {
            if (const int err = write("first half, "))
                return err;
            ::raise(SIGTERM); // held back until the save is done, which it then ends
            return write("second half");
        };
        return SafeWrite(t.path("d/f"), raising, SpecialTarget::Refuse);
    });
    EXPECT_EQ(r.status, 128 + SIGTERM);
    EXPECT_EQ(ReadFile(t.path("d/f")), "first half, second half");
    EXPECT_EQ(Entries(t.path("d")), 1);
}

} // namespace
} // namespace dirwise::test
