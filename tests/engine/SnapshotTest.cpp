// Manifests: SHA-256, the time and name texts, the streaming reader with its refusals, and
// interop with the real tools: bsdtar's and NetBSD mtree's manifests read here, ours checked
// by `mtree -f` and listed by `bsdtar -tf`.

#include "EngineTestSupport.h"
#include "Io.h"
#include "MtreeReader.h"
#include "Sha256.h"
#include "SnapshotStream.h"
#include "SnapshotTree.h"
#include "SnapshotWriter.h"

#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

namespace dirwise::test {
namespace {

const std::string DigestOfAbc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::string DigestOfNothing =
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

std::string Digest(const std::string &message, bool extensions, std::size_t piece) {
    Sha256Hasher sha(extensions);
    for (std::size_t at = 0; at < message.size(); at += piece)
        sha.Update(message.data() + at, std::min(piece, message.size() - at));
    return DigestHex(sha.Finish());
}

TEST(Sha256, GivesThePublishedDigestsOnEveryCodePath) {
    struct Case {
        std::string message, digest;
    } const cases[] = {
        {.message = "", .digest = DigestOfNothing},
        {.message = "abc", .digest = DigestOfAbc},
        // 56 bytes: the length no longer fits the first block's padding.
        {.message = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         .digest = "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {.message = std::string(1000000, 'a'),
         .digest = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case &c : cases)
        for (const bool extensions : {true, false})
            for (const std::size_t piece : {std::size_t{1}, std::size_t{63}, std::size_t{4096}})
                EXPECT_EQ(Digest(c.message, extensions, piece), c.digest)
                    << c.message.size() << " bytes, pieces of " << piece;
}

TEST(SnapshotTime, NanosecondsAreACountAfterTheDot) {
    struct Case {
        const char *text;
        bool valid;
        SnapshotTime time;
    } const cases[] = {
        {.text = "1.5", .valid = true, .time = {1, 5}},
        {.text = "-102.750000000", .valid = true, .time = {-102, 750000000}},
        {.text = "1796650313.399378548", .valid = true, .time = {1796650313, 399378548}},
        {.text = "7", .valid = true, .time = {7, 0}},
        {.text = "1.1234567890", .valid = false, .time = {}}, // ten digits
        {.text = "1.-5", .valid = false, .time = {}},
        {.text = "1.", .valid = false, .time = {}},
        {.text = ".5", .valid = false, .time = {}},
        {.text = "99999999999999999999", .valid = false, .time = {}},
        {.text = "1e9", .valid = false, .time = {}},
    };
    for (const Case &c : cases) {
        SnapshotTime t;
        EXPECT_EQ(ParseSnapshotTime(c.text, t), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(t, c.time) << c.text;
        }
    }
    for (const auto &[time, text] : {std::pair{SnapshotTime{1, 5}, "1.5"},
                                     std::pair{SnapshotTime{-102, 750000000}, "-102.750000000"}}) {
        std::string written = "time=";
        AppendSnapshotTime(written, time);
        EXPECT_EQ(written, std::string("time=") + text);
    }
}

TEST(MtreeNames, DecodesEveryEscapeForm) {
    struct Case {
        const char *text;
        const char *name; // nullptr: refused
    } const cases[] = {
        {.text = "a\\040b\\075c", .name = "a b=c"},
        {.text = "n\\M-C\\M-)\\^A", .name = "n\xc3\xa9\x01"},
        {.text = "\\\\\\#h", .name = "\\#h"},
        {.text = "a\\sb\\tc", .name = "a b\tc"},
        {.text = "\\^\\x\\M-\\y\\M^\\z", .name = "\x1cx\xdcy\x9cz"}, // a raw "\" after the prefix
        {.text = "\\^?\\M^?\\M^@\\240", .name = "\x7f\xff\x80\xa0"},
        {.text = "tail\\", .name = nullptr},
        {.text = "\\M", .name = nullptr},
        {.text = "\\^", .name = nullptr},
        {.text = "\\400", .name = nullptr},
    };
    for (const Case &c : cases) {
        std::string out;
        EXPECT_EQ(DecodeMtreeName(c.text, out), c.name != nullptr) << c.text;
        if (c.name) {
            EXPECT_EQ(out, c.name) << c.text;
        }
    }
}

TEST(MtreeNames, EveryByteSurvivesOurEscaping) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string encoded = EncodeMtreeName(all);
    EXPECT_EQ(encoded.find_first_of(" \t#="), std::string::npos);
    std::string back;
    ASSERT_TRUE(DecodeMtreeName(encoded, back));
    EXPECT_EQ(back, all);
}

TEST(MtreeNames, RecognisesBothWritersHeads) {
    EXPECT_TRUE(LooksLikeManifest("#mtree\n. type=dir\n"));
    EXPECT_TRUE(LooksLikeManifest("#\t   user: x\n#\t   tree: /t\n\n# .\n/set type=file\n"));
    EXPECT_TRUE(LooksLikeManifest("# made by hand\n.  type=dir\n"));
    EXPECT_FALSE(LooksLikeManifest("#!/bin/sh\necho hi\n"));
    EXPECT_FALSE(LooksLikeManifest("#mtreeX\n"));
    EXPECT_FALSE(LooksLikeManifest("hello\n"));
    EXPECT_FALSE(LooksLikeManifest(std::string("\x7f"
                                               "ELF\x02\x01",
                                               6)));
}

// Every entry as "path type size time link digest", one line each.
struct ReadResult {
    std::string entries, error;
    std::int64_t line = 0;
};

// `bytes` with control bytes, blanks and "\\" as "\\xHH", so that every entry stays on one line.
std::string Shown(const std::string &bytes) {
    std::string out;
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

ReadResult ReadFd(int fd) {
    ReadResult r;
    MtreeReader reader(fd);
    SnapshotEntry e;
    while (reader.Next(e)) {
        r.entries += Shown(e.path) + " " + std::string(EntryTypeName(e.type)) + " " +
                     std::to_string(e.size) + " ";
        if (e.hasTime)
            AppendSnapshotTime(r.entries, e.time);
        else
            r.entries += "-";
        r.entries +=
            " " + Shown(e.link) + (e.hasDigest ? " " + DigestHex(e.digest) : std::string()) + "\n";
    }
    r.error = reader.error();
    r.line = reader.errorLine();
    return r;
}

ReadResult ReadText(const std::string &text) {
    TempTree t;
    WriteFile(t.path("m"), text);
    UniqueFd fd(::open(t.path("m").c_str(), O_RDONLY));
    return ReadFd(fd.get());
}

TEST(MtreeReader, ReadsTheRelativeForm) {
    const ReadResult r = ReadText("#\t   user: me\n\n/set type=file time=5.0\n"
                                  ".               type=dir\n"
                                  "    f           size=3 \\\n"
                                  "                sha256=" +
                                  DigestOfAbc +
                                  " # said twice\n"
                                  "d\\sx type=dir time=1.5\n"
                                  "    l type=link link=../f\n"
                                  "/unset time\n"
                                  "    g\n"
                                  "..\n"
                                  "h size=0\n"
                                  "./d\\040x/deep/ type=dir\n");
    EXPECT_EQ(r.entries, " dir -1 5.0 \n"
                         "f file 3 5.0  " +
                             DigestOfAbc +
                             "\n"
                             "d\\x20x dir -1 1.5 \n"
                             "d\\x20x/l link -1 5.0 ../f\n"
                             "d\\x20x/g file -1 - \n"
                             "h file 0 - \n");
    EXPECT_EQ(r.error, "a path with an empty or \".\" component");
    EXPECT_EQ(r.line, 13);
}

// Lines in the form our writer gives, with escapes in names and link targets, then names
// relative to the folder those lines left open.
TEST(MtreeReader, PlainLinesReadWithTheirEscapes) {
    const ReadResult r = ReadText("#mtree\n. type=dir time=1.5\n"
                                  "./a\\040b type=dir time=-101.750000000\n"
                                  "./a\\040b/c\\303\\251\\075 type=file size=123456789012345678 "
                                  "time=7.0 sha256digest=" +
                                  DigestOfAbc +
                                  "\n"
                                  "./a\\040b/l type=link link=..\\057x\\040y time=2.0\n"
                                  "./a\\040b/d type=dir\n"
                                  "./a\\040b/d/f size=2\n"
                                  "./a\\040b/z size=4\n"
                                  "g size=3\n");
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.entries, " dir -1 1.5 \n"
                         "a\\x20b dir -1 -101.750000000 \n"
                         "a\\x20b/c\xc3\xa9= file 123456789012345678 7.0  " +
                             DigestOfAbc +
                             "\n"
                             "a\\x20b/l link -1 2.0 ../x\\x20y\n"
                             "a\\x20b/d dir -1 - \n"
                             "a\\x20b/d/f file 2 - \n"
                             "a\\x20b/z file 4 - \n"
                             "a\\x20b/g file 3 - \n");
}

TEST(MtreeReader, MalformedInputNamesItsLine) {
    struct Case {
        std::string text;
        std::int64_t line;
        const char *says;
    } const cases[] = {
        {.text = "#mtree\n. type=dir\n./a type=file size=1 tim=3\n", .line = 3, .says = "tim"},
        {.text = "#mtree\n. type=dir\n./a type=file size=-1\n", .line = 3, .says = "size"},
        {.text = "#mtree\n. type=dir\n./a type=blob\n", .line = 3, .says = "type"},
        {.text = "#mtree\n. type=dir\n./a sha256digest=abc\n", .line = 3, .says = "digest"},
        {.text = "#mtree\n. type=dir\n./a time=1.5.5\n", .line = 3, .says = "time"},
        {.text = "#mtree\n./a size=1\n./b size=2", .line = 3, .says = "cut off"},
        {.text = "#mtree\n./a size=1 \\\n", .line = 2, .says = "cut off"},
        {.text = "#mtree\n./a\\M size=1\n", .line = 2, .says = "escape"},
        {.text = std::string("#mtree\n./a size=1\n\x7f"
                             "ELF\0\0\n",
                             26),
         .line = 3,
         .says = "binary"},
        {.text = "#mtree\n. type=dir\n./a/../../etc/passwd size=1\n",
         .line = 3,
         .says = "leaves the root"},
        {.text = "#mtree\n/etc/passwd size=1\n", .line = 2, .says = "leaves the root"},
        {.text = "#mtree\n..\nx size=1\n", .line = 2, .says = "above the root"},
        {.text = "#mtree\n.\\056 size=1\n", .line = 2, .says = "leaves the root"},
        {.text = "#mtree\n/frobnicate x\n", .line = 2, .says = "unknown command"},
        {.text = "#mtree\n./a \\\n  \\\n  size=x\n", .line = 2, .says = "size"},
        {.text = "#mtree\n. type=dir\n./a size=1\n./b\\000c size=1\n", .line = 4, .says = "NUL"},
        {.text = "#mtree\n. type=dir\n./a\\777 size=1\n", .line = 3, .says = "escape"},
        {.text = "#mtree\n. type=dir\n./a//b size=1\n", .line = 3, .says = "empty"},
        {.text = "#mtree\n. type=dir\n./ab/x size=1\n./../x size=1\n", .line = 4, .says = "leaves"},
        {.text = "#mtree\n. type=dir\n./a/x size=1\n./a/./x size=1\n", .line = 4, .says = "empty"},
        {.text = "#mtree\n. type=dir\n./a size=99999999999999999999\n", .line = 3, .says = "size"},
        {.text = "#mtree\n. type=dir\n./a size=1 time=1.1234567890\n", .line = 3, .says = "time"},
        {.text = "#mtree\n. type=dir\n./a type=link link=\\000\n", .line = 3, .says = "link"},
        {.text = "#mtree\n. type=dir\n./a size=1\n./b size=1\x01\n", .line = 4, .says = "binary"},
        {.text = "#mtree\n./" + std::string(MtreeReader::MaxLine + 10, 'a') + "\n",
         .line = 2,
         .says = "longer than"},
    };
    for (const Case &c : cases) {
        const ReadResult r = ReadText(c.text);
        EXPECT_EQ(r.line, c.line) << c.text.substr(0, 60);
        EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
    }
}

TEST(MtreeReader, HandsOutAnEntryBeforeTheRestArrives) {
    const ChildResult r = RunInChild(
        [](std::string &out) {
            int p[2];
            if (::pipe(p) != 0)
                return 1;
            const std::string head = "#mtree\n. type=dir\n./a size=1\n";
            if (::write(p[1], head.data(), head.size()) != static_cast<ssize_t>(head.size()))
                return 1;
            MtreeReader reader(p[0]);
            SnapshotEntry e;
            // The writer's end stays open: a reader that wants the whole file hangs here.
            out += reader.Next(e) ? e.path + "|" : "none|";
            out += reader.Next(e) ? e.path + "|" : "none|";
            ::close(p[1]);
            out += reader.Next(e) ? e.path : "end";
            return 0;
        },
        20);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "|a|end");
}

// A tree with every byte a name can hold but "*", "?" and "[" (NetBSD's mtree takes a name
// with them for a pattern, even escaped, and checks the wrong files against it), links (inside,
// dangling, to a folder), a FIFO, nanosecond times and a time before 1970; regular files hold "abc"
// or nothing.
class MtreeInterop : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *d : {"tree/a b", "tree/sub/deep"})
            t.dir(d);
        for (int b = 1; b < 256; ++b)
            if (b != '/' && b != '*' && b != '?' && b != '[')
                WriteFile(t.path("tree/n" + std::string(1, static_cast<char>(b)) + "x"), "abc");
        WriteFile(t.path("tree/a b/c=d"), "abc");
        WriteFile(t.path("tree/sub/\\#h"), "");
        t.symlink("tree/sub/deep/up", "../../a b/c=d");
        t.symlink("tree/dangling", "no such\tplace");
        t.symlink("tree/folder link", "sub");
        t.fifo("tree/sub/pipe");
        t.setTime("tree/a b/c=d", 1, 5);
        t.setTime("tree/sub/\\#h", -102, 750000000);
        t.setTime("tree/sub/deep/up", 12345, 678);
    }

    // What lstat says of every entry below `root`, in the reader's "path type size time
    // link digest" form, sorted by path.
    std::string Live(const std::string &root) const {
        std::map<std::string, std::string> lines;
        namespace fs = std::filesystem;
        lines[""] = describe(root, "");
        // Keyed by the raw path, so that the order is byte order as in Sorted.
        for (const auto &e : fs::recursive_directory_iterator(root))
            lines[e.path().string().substr(root.size() + 1)] =
                describe(e.path().string(), e.path().string().substr(root.size() + 1));
        std::string out;
        for (const auto &[path, line] : lines)
            out += line;
        return out;
    }

    // Undoes Shown.
    static std::string Raw(const std::string &shown) {
        std::string out;
        for (std::size_t i = 0; i < shown.size(); ++i)
            if (shown.compare(i, 2, "\\x") == 0) {
                out += static_cast<char>(std::stoi(shown.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else {
                out += shown[i];
            }
        return out;
    }

    static std::string Sorted(const std::string &lines) {
        std::vector<std::string> v;
        std::size_t at = 0;
        for (std::size_t nl; (nl = lines.find('\n', at)) != std::string::npos; at = nl + 1)
            v.push_back(lines.substr(at, nl - at + 1));
        std::sort(v.begin(), v.end(), [](const std::string &a, const std::string &b) {
            return Raw(a.substr(0, a.find(' '))) < Raw(b.substr(0, b.find(' ')));
        });
        std::string out;
        for (const std::string &s : v)
            out += s;
        return out;
    }

    static std::string describe(const std::string &full, const std::string &rel) {
        struct stat st {};
        EXPECT_EQ(::lstat(full.c_str(), &st), 0) << full;
        std::string type = S_ISDIR(st.st_mode)    ? "dir"
                           : S_ISLNK(st.st_mode)  ? "link"
                           : S_ISFIFO(st.st_mode) ? "fifo"
                                                  : "file";
        std::string link(4096, '\0');
        const ssize_t n = S_ISLNK(st.st_mode) ? ::readlink(full.c_str(), link.data(), 4096) : 0;
        link.resize(static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        const bool regular = S_ISREG(st.st_mode);
        return Shown(rel) + " " + type + " " + (regular ? std::to_string(st.st_size) : "-1") + " " +
               std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + " " +
               Shown(link) +
               (regular ? " " + (st.st_size ? DigestOfAbc : DigestOfNothing) : std::string()) +
               "\n";
    }

    ReadResult ReadTool(const std::vector<std::string> &argv) {
        const ProcessResult p = RunProcess(argv);
        EXPECT_EQ(p.status, 0) << p.err;
        WriteFile(t.path("tool.mtree"), p.out);
        UniqueFd fd(::open(t.path("tool.mtree").c_str(), O_RDONLY));
        return ReadFd(fd.get());
    }

    std::string WriteOwn(bool digests) {
        const std::string out = t.path("own.mtree");
        UniqueFd fd(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
        TestHost host;
        const SnapshotSummary s = WriteSnapshot(t.path("tree"), fd.get(), {digests}, host);
        EXPECT_EQ(s.writeError, 0);
        EXPECT_TRUE(s.notRead.empty());
        return out;
    }

    TempTree t;
};

TEST_F(MtreeInterop, ReadsBsdtarManifest) {
    const ReadResult r =
        ReadTool({"bsdtar", "--format=mtree", "--options=!all,type,size,time,link,sha256", "-cf",
                  "-", "-C", t.path("tree"), "."});
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(Sorted(r.entries), Live(t.path("tree")));
}

TEST_F(MtreeInterop, ReadsNetBsdSpec) {
    const ReadResult r =
        ReadTool({"mtree", "-c", "-k", "type,size,time,link,sha256digest", "-p", t.path("tree")});
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(Sorted(r.entries), Live(t.path("tree")));
}

TEST_F(MtreeInterop, OwnSnapshotReadsBackInWalkOrder) {
    const std::string snap = WriteOwn(true);
    UniqueFd fd(::open(snap.c_str(), O_RDONLY));
    const ReadResult r = ReadFd(fd.get());
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(Sorted(r.entries), Live(t.path("tree")));
    // Folders after the other entries of their parent, each followed by its contents.
    const std::string &e = r.entries;
    EXPECT_LT(e.find("\nn~x file"), e.find("\na\\x20b dir"));
    EXPECT_LT(e.find("\na\\x20b/c=d "), e.find("\nsub dir"));
    EXPECT_LT(e.find("\nsub/pipe "), e.find("\nsub/deep dir"));
}

TEST_F(MtreeInterop, OwnSnapshotPassesMtreeCheckUntilTheTreeChanges) {
    const std::string snap = WriteOwn(true);
    const ProcessResult same = RunProcess({"mtree", "-f", snap, "-p", t.path("tree")});
    EXPECT_EQ(same.status, 0) << same.out << same.err;
    // Same size and time, other bytes: only the digest can tell.
    WriteFile(t.path("tree/a b/c=d"), "abd");
    t.setTime("tree/a b/c=d", 1, 5);
    const ProcessResult changed = RunProcess({"mtree", "-f", snap, "-p", t.path("tree")});
    EXPECT_NE(changed.status, 0);
    EXPECT_NE(changed.out.find("sha256"), std::string::npos) << changed.out;
}

// Many files of one folder are hashed at once; each line must still carry its own file's
// digest, which NetBSD's mtree checks against the bytes.
TEST_F(MtreeInterop, DigestsHashedTogetherStayWithTheirFiles) {
    t.dir("many");
    for (int i = 0; i < 200; ++i)
        WriteFile(t.path("many/f" + std::to_string(i)), std::string(i * 37 % 500, 'a' + i % 26));
    const std::string snap = t.path("many.mtree");
    UniqueFd fd(::open(snap.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
    TestHost host;
    const SnapshotSummary s = WriteSnapshot(t.path("many"), fd.get(), {true}, host);
    EXPECT_EQ(s.entries, 201);
    EXPECT_TRUE(s.notRead.empty());
    const ProcessResult checked = RunProcess({"mtree", "-f", snap, "-p", t.path("many")});
    EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
}

// Holes are hashed as the zeros they read as, without being read: data between holes, a
// hole at the end and a file that is all hole, checked by NetBSD's mtree against the bytes.
TEST_F(MtreeInterop, HolesAreHashedAsTheZerosTheyReadAs) {
    t.dir("sparse");
    const struct {
        const char *name;
        std::vector<std::pair<off_t, const char *>> writes; // offset, bytes
        off_t size;
    } files[] = {
        {"between", {{0, "head"}, {3 << 20, "middle"}, {(5 << 20) + 7, "tail"}}, 0},
        {"end", {{0, "head"}}, 9 << 20},
        {"empty", {}, 4 << 20},
    };
    for (const auto &f : files) {
        UniqueFd fd(::open(t.path("sparse/" + std::string(f.name)).c_str(),
                           O_WRONLY | O_CREAT | O_TRUNC, 0644));
        for (const auto &[at, bytes] : f.writes)
            ASSERT_EQ(::pwrite(fd.get(), bytes, std::strlen(bytes), at),
                      static_cast<ssize_t>(std::strlen(bytes)));
        if (f.size) {
            ASSERT_EQ(::ftruncate(fd.get(), f.size), 0);
        }
    }
    const std::string snap = t.path("sparse.mtree");
    UniqueFd fd(::open(snap.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
    TestHost host;
    const SnapshotSummary s = WriteSnapshot(t.path("sparse"), fd.get(), {true}, host);
    EXPECT_TRUE(s.notRead.empty());
    const ProcessResult checked = RunProcess({"mtree", "-f", snap, "-p", t.path("sparse")});
    EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
}

TEST_F(MtreeInterop, BsdtarListsOwnSnapshot) {
    const std::string snap = WriteOwn(false);
    const ProcessResult listed = RunProcess({"bsdtar", "-tf", snap});
    EXPECT_EQ(listed.status, 0) << listed.err;
    // The root, the 251 odd names, "a b" and its file, sub with its 5 entries, 2 links.
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 1 + 251 + 2 + 5 + 2);
    EXPECT_NE(listed.out.find("./a b/c=d\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("./sub/deep/up\n"), std::string::npos);
}

struct LoadedTree {
    TempTree dir;
    SnapshotTree tree;
    std::unique_ptr<SnapshotStream> stream;
    bool ok = false;
    SnapshotStream::Outcome streamed = SnapshotStream::Outcome::Failed;
};

// `text` read whole into a tree, and read again as a stream of a file in walk order.
std::unique_ptr<LoadedTree> Load(const std::string &text) {
    auto loaded = std::make_unique<LoadedTree>();
    WriteFile(loaded->dir.path("m"), text);
    UniqueFd fd(::open(loaded->dir.path("m").c_str(), O_RDONLY));
    MtreeReader reader(fd.get());
    loaded->ok = loaded->tree.Load(reader);
    // Nothing kept: every folder is read again from the file when asked.
    loaded->stream = std::make_unique<SnapshotStream>(
        UniqueFd(::open(loaded->dir.path("m").c_str(), O_RDONLY)), true, 0);
    loaded->streamed = loaded->stream->Read();
    return loaded;
}

// What a lookup finds: its type, name and size, or "(none)".
std::string PathOf(SnapshotView &view, const std::string &lookedUp, bool follow) {
    const SnapshotView::Ref i = view.Find(lookedUp, follow);
    if (i == SnapshotView::None)
        return "(none)";
    const SnapshotFacts e = view.Get(i);
    return std::string(EntryTypeName(e.type)) + " " + std::string(e.name) + " " +
           std::to_string(e.size);
}

std::string RootNames(SnapshotView &view) {
    std::vector<SnapshotView::Ref> children;
    EXPECT_EQ(view.Children(view.Root(), children), 0);
    std::string names;
    for (const SnapshotView::Ref i : children)
        names += std::string(view.Get(i).name) + " ";
    return names;
}

// Entries in no particular order, a folder's file before the folder, "a" given twice.
const char *const ForeignOrder =
    "#mtree\n./z size=1 time=1.0\n./b/y size=2 time=1.0\n. type=dir time=1.0\n"
    "./a size=3 time=1.0\n./b type=dir time=1.0\n./a size=4 time=2.0\n";

TEST(SnapshotTree, TheLastOfTwoEntriesWins) {
    const auto l = Load(ForeignOrder);
    ASSERT_TRUE(l->ok) << l->tree.error();
    const auto view = l->tree.NewView();
    EXPECT_EQ(PathOf(*view, "a", true), "file a 4");
}

TEST(SnapshotTree, ForeignOrderIsSorted) {
    const auto l = Load(ForeignOrder);
    ASSERT_TRUE(l->ok) << l->tree.error();
    const auto view = l->tree.NewView();
    EXPECT_EQ(RootNames(*view), "a b z ");
    EXPECT_EQ(PathOf(*view, "b/y", true), "file y 2");
    EXPECT_TRUE(l->tree.TimesComplete());
    EXPECT_FALSE(l->tree.DigestsComplete());
}

// The same links in a foreign order (read whole) and in the walk's order (streamed).
TEST(SnapshotViews, LinksInsideAreFollowedOthersLeadNowhere) {
    const auto foreign = Load("#mtree\n./d/f size=7\n./d/e type=dir\n./d/e/g size=8\n"
                              "./d/up type=link link=../top\n./top type=link link=d/f\n"
                              "./tod type=link link=d/e/\n./abs type=link link=/etc/passwd\n"
                              "./out type=link link=../outside\n./gone type=link link=d/nothing\n"
                              "./loop type=link link=loop2\n./loop2 type=link link=loop\n");
    const auto walked = Load("#mtree\n. type=dir\n./abs type=link link=/etc/passwd\n"
                             "./gone type=link link=d/nothing\n./loop type=link link=loop2\n"
                             "./loop2 type=link link=loop\n./out type=link link=../outside\n"
                             "./tod type=link link=d/e/\n./top type=link link=d/f\n"
                             "./d type=dir\n./d/f size=7\n./d/up type=link link=../top\n"
                             "./d/e type=dir\n./d/e/g size=8\n");
    ASSERT_TRUE(foreign->ok) << foreign->tree.error();
    ASSERT_EQ(walked->streamed, SnapshotStream::Outcome::Complete) << walked->stream->error();
    struct Case {
        const char *path;
        bool follow;
        const char *found;
    } const cases[] = {
        {.path = "d/up", .follow = true, .found = "file f 7"},   // through a second link
        {.path = "d/up", .follow = false, .found = "link up 0"}, // the link's own facts
        {.path = "tod/g", .follow = true, .found = "file g 8"},  // a link on the way
        {.path = "tod/../f", .follow = true, .found = "file f 7"},
        {.path = "tod", .follow = true, .found = "dir e 0"},
        {.path = "abs", .follow = true, .found = "(none)"},
        {.path = "out", .follow = true, .found = "(none)"},
        {.path = "gone", .follow = true, .found = "(none)"},
        {.path = "loop", .follow = true, .found = "(none)"},
        {.path = "d/f/x", .follow = true, .found = "(none)"},
        {.path = "..", .follow = true, .found = "(none)"},
    };
    for (const SnapshotData *data : {static_cast<const SnapshotData *>(&foreign->tree),
                                     static_cast<const SnapshotData *>(walked->stream.get())}) {
        const auto view = data->NewView();
        const std::string which = data == &foreign->tree ? "tree: " : "stream: ";
        for (const Case &c : cases)
            EXPECT_EQ(PathOf(*view, c.path, c.follow), c.found) << which << c.path;
        for (const auto &[link, leaves] : {std::pair{"abs", true}, std::pair{"out", true},
                                           std::pair{"d/up", false}, std::pair{"gone", false}})
            EXPECT_EQ(view->LeavesTree(view->Find(link, false)), leaves) << which << link;
        EXPECT_EQ(RootNames(*view), "abs d gone loop loop2 out tod top ") << which;
    }
}

// A reader asks a folder's names mostly in byte order, and the stream's view starts each
// search where the last one ended: names asked in order, again, backwards, between two
// entries, past the last one and before the first all find what a search from scratch finds.
TEST(SnapshotViews, NamesAskedInAnyOrderFindTheirEntries) {
    const auto l = Load("#mtree\n. type=dir\n./b size=2\n./d size=4\n./f type=link link=b\n"
                        "./h size=8\n./c type=dir\n./c/x size=9\n");
    ASSERT_TRUE(l->ok) << l->tree.error();
    ASSERT_EQ(l->streamed, SnapshotStream::Outcome::Complete) << l->stream->error();
    const std::pair<const char *, const char *> asked[] = {
        {"b", "file b 2"}, {"c", "dir c 0"},  {"a", "(none)"},   {"d", "file d 4"},
        {"d", "file d 4"}, {"e", "(none)"},   {"f", "link f 0"}, {"g", "(none)"},
        {"e", "(none)"},   {"h", "file h 8"}, {"i", "(none)"},   {"b", "file b 2"},
        {"bb", "(none)"},  {"h", "file h 8"}, {"a", "(none)"},   {"f", "link f 0"},
    };
    for (const SnapshotData *data : {static_cast<const SnapshotData *>(&l->tree),
                                     static_cast<const SnapshotData *>(l->stream.get())}) {
        const auto view = data->NewView();
        const SnapshotView::Ref sub = view->Find("c", false);
        for (const auto &[name, found] : asked) {
            const SnapshotView::Ref r = view->FindName(view->Root(), name);
            const SnapshotFacts e = r == SnapshotView::None ? SnapshotFacts{} : view->Get(r);
            EXPECT_EQ(r == SnapshotView::None
                          ? std::string("(none)")
                          : std::string(EntryTypeName(e.type)) + " " + std::string(e.name) + " " +
                                std::to_string(e.size),
                      found)
                << name;
            EXPECT_EQ(view->Failure(), 0) << name;
        }
        // A name of another folder asked between two of the root's changes no later answer.
        for (const auto &[name, found] : asked) {
            ASSERT_NE(view->FindName(sub, "x"), SnapshotView::None);
            EXPECT_EQ(view->FindName(view->Root(), name) == SnapshotView::None,
                      std::string_view(found) == "(none)")
                << name;
        }
    }
}

// Only a manifest in the walk's order, every line a full path, streams; any other order or
// form is left to the whole tree, and a folder named as a file is refused.
TEST(SnapshotStream, TakesOnlyTheWalksOrder) {
    using O = SnapshotStream::Outcome;
    struct Case {
        const char *text;
        O outcome;
    } const cases[] = {
        {.text = "#mtree\n. type=dir\n./a\\040b size=1\n./c type=dir\n./c/d size=2\n./e type=dir\n",
         .outcome = O::Complete},
        {.text = "#mtree\n./a size=1\n. type=dir\n", .outcome = O::NotWalkOrder},
        {.text = "#mtree\n. type=dir\n./b size=1\n./a size=1\n", .outcome = O::NotWalkOrder},
        {.text = "#mtree\n. type=dir\n./a size=1\n./a size=2\n", .outcome = O::NotWalkOrder},
        {.text = "#mtree\n. type=dir\n./c type=dir\n./a size=1\n", .outcome = O::NotWalkOrder},
        {.text = "#mtree\n. type=dir\n./c type=dir\n./b type=dir\n", .outcome = O::NotWalkOrder},
        {.text = "#mtree\n. type=dir\n./c/d type=dir\n", .outcome = O::NotWalkOrder},
        {.text = "#mtree\n. type=dir\n./c type=dir\n./c/d size=1\n./c/e type=dir\n./c/b size=1\n",
         .outcome = O::NotWalkOrder},
        {.text = "#mtree\n/set type=file\n. type=dir\n./a size=1\n", .outcome = O::NotWalkOrder},
        {.text = "# manifest\n. type=dir\n    a size=1\n..\n", .outcome = O::NotWalkOrder},
        {.text = "#mtree\n. type=dir\n./a size=1\n./a type=dir\n", .outcome = O::Failed},
        {.text = "#mtree\n. type=dir\n./a size=x\n", .outcome = O::Failed},
        {.text = "#mtree\n", .outcome = O::Failed},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Load(c.text)->streamed, c.outcome) << c.text;
}

// A snapshot file rewritten after it was checked is not taken for what it says now, where
// its folders are read again (none kept from the first read): same size or not.
TEST(SnapshotStream, FileChangedSinceItWasReadIsAnError) {
    const char *const first = "#mtree\n. type=dir\n./a size=1\n./b size=2\n./c type=dir\n";
    for (const char *again : {"#mtree\n. type=dir\n./a size=1\n./b size=3\n./c type=dir\n",
                              "#mtree\n. type=dir\n./a type=dir\n./c type=dir\n./b\n"}) {
        TempTree dir;
        WriteFile(dir.path("m"), first);
        SnapshotStream stream(UniqueFd(::open(dir.path("m").c_str(), O_RDONLY)), true, 0);
        ASSERT_EQ(stream.Read(), SnapshotStream::Outcome::Complete);
        WriteFile(dir.path("m"), again);
        const auto view = stream.NewView();
        std::vector<SnapshotView::Ref> children;
        EXPECT_EQ(view->Children(view->Root(), children), EIO) << again;
        EXPECT_EQ(view->Find("b", true), SnapshotView::None) << again;
        EXPECT_EQ(view->Failure(), EIO) << again;
    }
}

// A stream from a pipe, read on a thread: what has arrived answers while the writer still
// writes; what a stream that broke off never delivered is EIO, never "not there".
class StreamedPipe : public ::testing::Test {
protected:
    struct Answers {
        std::string early; // asked while the writer still holds the pipe open
        std::string late;  // asked after the stream ended
    };

    // Writes `head`, asks `early` paths, writes `tail`, closes, asks `late` paths; each answer
    // "type name size" or "(none)/errno". `endCheck` as SnapshotStream::SetEndCheck.
    static ChildResult Run(const std::string &head, const std::vector<std::string> &early,
                           const std::string &tail, const std::vector<std::string> &late,
                           bool endCheck = true) {
        return RunInChild(
            [&](std::string &out) {
                int p[2];
                if (::pipe(p) != 0)
                    return 1;
                SnapshotStream stream(UniqueFd(p[0]), false);
                stream.SetEndCheck([endCheck](std::string &why) {
                    why = "the writer failed";
                    return endCheck;
                });
                std::thread reader([&] { (void)stream.Read(); });
                const auto view = stream.NewView();
                const auto ask = [&](const std::vector<std::string> &paths) {
                    for (const std::string &path : paths) {
                        const SnapshotView::Ref r = view->Find(path, true);
                        out += r == SnapshotView::None
                                   ? "(none)/" + std::to_string(view->Failure())
                                   : std::string(EntryTypeName(view->Get(r).type)) + " " +
                                         std::string(view->Get(r).name) + " " +
                                         std::to_string(view->Get(r).size);
                        out += "|";
                    }
                };
                (void)!::write(p[1], head.data(), head.size());
                // A stream that waited for its end would hang here: the child is then killed.
                ask(early);
                out += "#";
                (void)!::write(p[1], tail.data(), tail.size());
                ::close(p[1]);
                reader.join();
                ask(late);
                return 0;
            },
            20);
    }
};

TEST_F(StreamedPipe, FoldersAnswerAsTheyArrive) {
    const ChildResult r =
        Run("#mtree\n. type=dir\n./a size=1\n./b type=dir\n./b/c size=2\n./d type=dir\n",
            {"a", "b/c", "aa", "b/cc"}, "./d/e size=3\n", {"d/e", "z", "d/f"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "file a 1|file c 2|(none)/0|(none)/0|#file e 3|(none)/0|(none)/0|");
}

TEST_F(StreamedPipe, WhatABrokenStreamNeverSentIsAnError) {
    // The root's files and b's are whole (later lines came); d's are not, and the root's
    // subfolders after "d" never came.
    const std::string head =
        "#mtree\n. type=dir\n./a size=1\n./b type=dir\n./b/c size=2\n./d type=dir\n";
    for (const auto &[tail, endCheck] :
         {std::pair{std::string("./d/e size=3\n./d/f size=x\n"), true},
          std::pair{std::string("./d/e size=3\n"), false},
          std::pair{std::string("./d/e size=3"), true}}) {
        const ChildResult r = Run(head, {"a"}, tail, {"b/c", "b/x", "d/e", "e", "aa"}, endCheck);
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(r.out, "file a 1|#file c 2|(none)/0|(none)/5|(none)/5|(none)/0|") << tail;
    }
}

TEST(SnapshotTree, RefusesWhatMakesNoTree) {
    struct Case {
        const char *text;
        const char *says;
    } const cases[] = {
        {.text = "#mtree\n./a size=1\n./a/b size=1\n", .says = "no folder"},
        {.text = "#mtree\n./a/b size=1\n./a size=1\n", .says = "as something else"},
        {.text = "#mtree\n. type=file\n", .says = "root"},
        {.text = "#mtree\n./a size=1 tim=2\n", .says = "unknown keyword"},
        {.text = "#mtree\n", .says = "no entry"},
    };
    for (const Case &c : cases) {
        const auto l = Load(c.text);
        EXPECT_FALSE(l->ok) << c.text;
        EXPECT_NE(l->tree.error().find(c.says), std::string::npos) << l->tree.error();
    }
}

} // namespace
} // namespace dirwise::test
