// The one safe way to replace a file: which targets are replaced and which are written in
// place, and that no failure or signal ever leaves a damaged file or a temporary one.

#include "SafeWrite.h"
#include "TempTree.h"

#include <filesystem>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>

namespace dirwise::test {
namespace {

ByteProducer Bytes(std::string text) {
    return [text](const std::function<int(std::string_view)> &write) { return write(text); };
}

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
    TempTree t;
};

TEST_F(SafeWriteTest, AnOwnFileWithOneLinkIsReplacedWholeAndKeepsItsMode) {
    t.dir("d");
    WriteFile(t.path("d/f"), "old");
    ::chmod(t.path("d/f").c_str(), 0640);
    const ino_t before = StatOf(t.path("d/f")).st_ino;
    ASSERT_EQ(SafeWrite(t.path("d/f"), Bytes("new"), SpecialTarget::Refuse), 0);
    EXPECT_EQ(ReadFile(t.path("d/f")), "new");
    EXPECT_NE(StatOf(t.path("d/f")).st_ino, before);
    EXPECT_EQ(StatOf(t.path("d/f")).st_mode & 07777, 0640u);
    EXPECT_EQ(Entries(t.path("d")), 1) << "a temporary file was left";
}

TEST_F(SafeWriteTest, AHardLinkedFileIsWrittenInPlaceSoEveryNameSeesIt) {
    t.dir("d");
    WriteFile(t.path("d/f"), "old contents, longer than the new");
    ASSERT_EQ(::link(t.path("d/f").c_str(), t.path("d/g").c_str()), 0);
    const ino_t before = StatOf(t.path("d/f")).st_ino;
    ASSERT_EQ(SafeWrite(t.path("d/f"), Bytes("new"), SpecialTarget::Refuse), 0);
    EXPECT_EQ(ReadFile(t.path("d/g")), "new");
    EXPECT_EQ(StatOf(t.path("d/f")).st_ino, before);
    EXPECT_EQ(Entries(t.path("d")), 2);
}

// Run in a child: the user "nobody" saves into files it may write but not replace.
int SaveAsNobody(const std::string &path, const std::string &text) {
    const ChildResult r = RunInChild([&](std::string &out) {
        if (!DropRootInChild() || ::geteuid() != Nobody)
            return 77;
        out = std::to_string(SafeWrite(path, Bytes(text), SpecialTarget::Refuse));
        return 0;
    });
    return r.status == 0 ? std::stoi(r.out) : r.status == 77 ? -77 : -1;
}

TEST_F(SafeWriteTest, AWritableFileInADirectoryTheUserCannotWriteIsWrittenInPlace) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a file another user may write but not replace";
    t.dir("locked");
    WriteFile(t.path("locked/f"), "old");
    ::chmod(t.path("locked/f").c_str(), 0666);
    ::chmod(t.path("locked").c_str(), 0755);
    const int err = SaveAsNobody(t.path("locked/f"), "written by nobody");
    ASSERT_NE(err, -77) << "cannot become nobody";
    EXPECT_EQ(err, 0) << std::strerror(err > 0 ? err : 0);
    EXPECT_EQ(ReadFile(t.path("locked/f")), "written by nobody");
}

TEST_F(SafeWriteTest, AnotherUsersGroupWritableFileKeepsItsOwner) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a file owned by another user";
    t.dir("shared");
    ::chmod(t.path("shared").c_str(), 0777);
    WriteFile(t.path("shared/f"), "old");
    ASSERT_EQ(::chown(t.path("shared/f").c_str(), 0, Nobody), 0);
    ::chmod(t.path("shared/f").c_str(), 0664);
    const ino_t before = StatOf(t.path("shared/f")).st_ino;
    ASSERT_EQ(SaveAsNobody(t.path("shared/f"), "new"), 0);
    const struct stat after = StatOf(t.path("shared/f"));
    EXPECT_EQ(after.st_uid, 0u) << "the file changed hands";
    EXPECT_EQ(after.st_ino, before);
    EXPECT_EQ(ReadFile(t.path("shared/f")), "new");
}

TEST_F(SafeWriteTest, AnOwnFileInAStickyDirectoryIsWrittenInPlace) {
    t.dir("sticky");
    ::chmod(t.path("sticky").c_str(), 01777);
    WriteFile(t.path("sticky/f"), "old");
    const ino_t before = StatOf(t.path("sticky/f")).st_ino;
    ASSERT_EQ(SafeWrite(t.path("sticky/f"), Bytes("new"), SpecialTarget::Refuse), 0);
    EXPECT_EQ(StatOf(t.path("sticky/f")).st_ino, before);
    EXPECT_EQ(ReadFile(t.path("sticky/f")), "new");
}

int FailingSync(int) {
    errno = EIO;
    return -1;
}

TEST_F(SafeWriteTest, AFailedFlushLeavesTheOldFileAndNoTemporaryOne) {
    t.dir("d");
    WriteFile(t.path("d/f"), "old");
    ASSERT_EQ(::link(t.path("d/f").c_str(), t.path("d/g").c_str()), 0);
    WriteFile(t.path("d/single"), "old");
    SetSyncForTests(&FailingSync);
    EXPECT_EQ(SafeWrite(t.path("d/single"), Bytes("new"), SpecialTarget::Refuse), EIO);
    EXPECT_EQ(ReadFile(t.path("d/single")), "old");
    EXPECT_EQ(SafeWrite(t.path("d/f"), Bytes("new"), SpecialTarget::Refuse), EIO);
    EXPECT_EQ(Entries(t.path("d")), 3);
}

TEST_F(SafeWriteTest, AFullDiskFailsBeforeAHardLinkedFileChanges) {
    const std::string old(4096, 'o');
    const ChildResult r = RunInChild([&](std::string &out) {
        // A private mount of a tiny tmpfs: nothing outside this child sees it.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("none", t.root().c_str(), "tmpfs", 0, "size=64k") != 0)
            return 77;
        WriteFile(t.path("f"), old);
        if (::link(t.path("f").c_str(), t.path("g").c_str()) != 0)
            return 78;
        const int err =
            SafeWrite(t.path("f"), Bytes(std::string(200 * 1024, 'n')), SpecialTarget::Refuse);
        out = std::to_string(err) + " " + std::to_string(ReadFile(t.path("g")) == old) + " " +
              std::to_string(Entries(t.root()));
        return 0;
    });
    if (r.status == 77)
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::to_string(ENOSPC) + " 1 2");
}

TEST_F(SafeWriteTest, ASignalDuringTheSaveFinishesItAndLeavesNoTemporaryFile) {
    t.dir("d");
    WriteFile(t.path("d/f"), "old");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const ByteProducer raising = [](const std::function<int(std::string_view)> &write) {
            if (const int err = write("first half, "))
                return err;
            ::raise(SIGTERM); // held back until the save is done
            return write("second half");
        };
        const int err = SafeWrite(t.path("d/f"), raising, SpecialTarget::Refuse);
        ::_exit(err == 0 ? 3 : 4); // not reached when the signal ends the process
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(ReadFile(t.path("d/f")), "first half, second half");
    EXPECT_EQ(Entries(t.path("d")), 1);
}

TEST_F(SafeWriteTest, SpecialTargetsAreRefusedOrWrittenButNeverReplaced) {
    t.fifo("pipe");
    EXPECT_EQ(SafeWrite(t.path("pipe"), Bytes("x"), SpecialTarget::Refuse), EINVAL);
    EXPECT_EQ(SafeWrite(t.path("pipe"), Bytes("x"), SpecialTarget::WriteInPlace), ENXIO)
        << "a FIFO without a reader must fail at once, not hang";
    EXPECT_TRUE(S_ISFIFO(StatOf(t.path("pipe")).st_mode));
    t.dir("dir");
    EXPECT_EQ(SafeWrite(t.path("dir"), Bytes("x"), SpecialTarget::WriteInPlace), EISDIR);
    t.symlink("dangling", "made-through-link");
    ASSERT_EQ(SafeWrite(t.path("dangling"), Bytes("x"), SpecialTarget::Refuse), 0);
    EXPECT_EQ(ReadFile(t.path("made-through-link")), "x");
    struct stat st {};
    ASSERT_EQ(::lstat(t.path("dangling").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
}

} // namespace
} // namespace dirwise::test
