// Remote roots: which roots are remote (rsync's colon rule), what is refused, and the words
// that reach the transport and the remote shell.

#include "RemoteRoot.h"
#include "TempTree.h"

namespace dirwise::test {
namespace {

TEST(RemoteRoot, ColonBeforeTheFirstSlashMakesARemoteRoot) {
    struct Case {
        const char *root;
        bool remote;
    } const cases[] = {
        {.root = "host:dir", .remote = true},    {.root = "me@host:/srv/a", .remote = true},
        {.root = "host:", .remote = true},       {.root = "./a:b", .remote = false},
        {.root = "/x/a:b", .remote = false},     {.root = "plain", .remote = false},
        {.root = "dir/host:x", .remote = false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(IsRemoteRoot(c.root), c.remote) << c.root;
}

TEST(RemoteRoot, HostsThatSshWouldTakeForOptionsAreRefused) {
    RemoteRoot r;
    std::string error;
    EXPECT_FALSE(ParseRemoteRoot("-oProxyCommand=x:dir", r, error));
    EXPECT_NE(error.find("cannot begin with"), std::string::npos);
    EXPECT_FALSE(ParseRemoteRoot("me@-x:dir", r, error));
    EXPECT_FALSE(ParseRemoteRoot(":dir", r, error));
    ASSERT_TRUE(ParseRemoteRoot("me@host:/a:b", r, error));
    EXPECT_EQ(r.destination, "me@host");
    EXPECT_EQ(r.path, "/a:b");
}

TEST(RemoteRoot, RemoteCommandQuotesAllButTheHome) {
    EXPECT_EQ(RemoteCommand("dwc", "/a b/it's $HOME", false),
              "'dwc' -q --snapshot -- '/a b/it'\\''s $HOME'");
    EXPECT_EQ(RemoteCommand("/opt/my dwc", "~/backup", true),
              "'/opt/my dwc' -q --snapshot --verify -- ~/'backup'");
    EXPECT_EQ(RemoteCommand("dwc", "", false), "'dwc' -q --snapshot -- .");
    EXPECT_EQ(RemoteCommand("dwc", "-rf", false), "'dwc' -q --snapshot -- '-rf'");
}

TEST(RemoteRoot, RshSplitsLikeAShell) {
    struct Case {
        const char *text;
        std::vector<std::string> words; // empty: refused
    } const cases[] = {
        {.text = "ssh -p 2222", .words = {"ssh", "-p", "2222"}},
        {.text = "ssh -i '/my keys/k' -o \"A=\\\"b c\\\"\"",
         .words = {"ssh", "-i", "/my keys/k", "-o", "A=\"b c\""}},
        {.text = "a\\ b  c", .words = {"a b", "c"}},
        {.text = "ssh 'open", .words = {}},
        {.text = "   ", .words = {}},
    };
    for (const Case &c : cases) {
        std::vector<std::string> words;
        EXPECT_EQ(SplitCommand(c.text, words), !c.words.empty()) << c.text;
        if (!c.words.empty()) {
            EXPECT_EQ(words, c.words) << c.text;
        }
    }
}

} // namespace
} // namespace dirwise::test
