// What dwc says besides the rows: warnings for options that change nothing, the option a
// bundle held that was refused, and names that cannot drive the terminal they are shown on.

#include "DwcSupport.h"

namespace dirwise::test {
namespace {

class DwcText : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("LC_ALL", "C", 1);
        t.file("m/a", 1);
        t.file("c/a", 1);
    }
    TempTree t;
};

TEST_F(DwcText, ATimeOptionWithoutDateIsAWarning) {
    const ProcessResult r =
        Dwc({"--time-tolerance", "2", "--hour-shifts=1", t.path("m"), t.path("c")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.substr(0, r.err.find("Dirwise complete.")),
              "dwc: warning: --time-tolerance has no effect without --date: dates are not "
              "compared\n"
              "dwc: warning: --hour-shifts has no effect without --date: dates are not compared\n");
    const ProcessResult dated = Dwc({"--date", "--time-tolerance", "2", t.path("m"), t.path("c")});
    EXPECT_EQ(dated.err.find("warning"), std::string::npos) << dated.err;
}

// The message names the option that was refused, not the bundle or the option before it.
TEST_F(DwcText, ARefusedShortOptionInsideABundleIsNamed) {
    const std::pair<std::vector<std::string>, const char *> cases[] = {
        {{"-qz", "M", "C"}, "unknown option '-z'"},
        {{"-zq", "M", "C"}, "unknown option '-z'"},
        {{"M", "C", "-qo"}, "option '-o' needs a value"},
        {{"-q\x1b", "M", "C"}, "unknown option '-\\x1b'"},
    };
    for (auto [args, message] : cases) {
        for (std::string &a : args)
            a = a == "M" ? t.path("m") : a == "C" ? t.path("c") : a;
        const ProcessResult r = Dwc(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err,
                  "dwc: " + std::string(message) + "\nTry 'dwc --help' for more information.\n");
    }
}

TEST_F(DwcText, OnATerminalNamesInTheReportAreEscaped) {
    const std::string name = "x\x1b]0;owned\x07\x1b[2Jy";
    t.file("m/" + name, 1);
    t.file("c/" + name, 1);
    const ProcessResult shown =
        OnTerminal("xterm", "-q '" + t.path("m") + "' '" + t.path("c") + "'");
    EXPECT_NE(shown.out.find("\tx\\x1b]0;owned\\x07\\x1b[2Jy\t"), std::string::npos) << shown.out;
    EXPECT_EQ(shown.out.find('\x1b'), std::string::npos) << "an escape reached the terminal";
    const ProcessResult piped = Dwc({"-q", t.path("m"), t.path("c")});
    EXPECT_NE(piped.out.find("\t" + name + "\t"), std::string::npos) << "a pipe gets the bytes";
}

} // namespace
} // namespace dirwise::test
