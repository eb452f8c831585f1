// The options the programs share, through the real programs: each mistake is told in one wording,
// whichever program is given it, with the same exit status and the way to the help.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/version.h"
#include "tests/support/child_process.h"

namespace zelt::test {
namespace {

struct Program {
    const char* name;
    const char* path;
};
const Program kCtl{"zelt-ctl", ZELT_CTL_PATH};
const Program kBridge{"zelt-pjlinkd", ZELT_PJLINKD_PATH};
const Program kPanel{"zelt-panel", ZELT_PANEL_PATH};

struct Ran {
    std::optional<int> status;
    std::string out;
    std::string err;
};

Ran run(const Program& program, const std::vector<std::string>& args) {
    std::vector<std::string> argv{program.path};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess child;
    EXPECT_TRUE(child.start(argv, StandardError::Captured)) << child.startError();
    Ran ran;
    ran.status = child.waitForExit(10000);
    child.waitForLine([](const std::string&) { return false; }, 5000);  // until the output ends
    for (const std::string& line : child.lines()) ran.out += line + "\n";
    ran.err = child.standardError(5000);
    return ran;
}

TEST(SharedOptions, EachMistakeHasOneWordingInEveryProgram) {
    struct Case {
        Program program;
        std::vector<std::string> args;
        std::string says;  // after "PROGRAM: "
    };
    // zelt-ctl gets a verb, so that only the option is wrong.
    const Case cases[] = {
        {kCtl, {"--port", "16", "status"}, "--port expects a port number from 1 to 15, not \"16\""},
        {kBridge, {"--port", "three"}, "--port expects a port number from 1 to 15, not \"three\""},
        {kBridge, {"--port", " 3"}, "--port expects a port number from 1 to 15, not \" 3\""},
        {kCtl, {"--port", "2", "--device", "/dev/ttyUSB0", "status"}, "give --port or --device, not both"},
        {kBridge, {"--device", "/dev/ttyUSB0", "--port", "2"}, "give --port or --device, not both"},
        {kCtl, {"--device", "", "status"}, "--device expects a device path or an address"},
        {kBridge,
         {"--device", "tcp://127.0.0.1"},
         "--device \"tcp://127.0.0.1\": no port number: write tcp://host:port"},
        {kCtl,
         {"--device", "127.0.0.1:4001", "status"},
         "--device \"127.0.0.1:4001\": a network line needs its scheme: "
         "tcp://127.0.0.1:4001 (raw) or rfc2217://127.0.0.1:4001 (telnet)"},
        {kCtl, {"--baud", "4800", "status"}, "--baud expects 9600 or 19200, not \"4800\""},
        {kBridge, {"--baud", "19200bps"}, "--baud expects 9600 or 19200, not \"19200bps\""},
        {kPanel, {"--log", ""}, "--log expects a file name"},
        {kBridge, {"--log", ""}, "--log expects a file name"},
        {kCtl, {"--port", "1", "--port", "2", "status"}, "--port is given more than once"},
        {kPanel, {"--log", "a", "--log=b"}, "--log is given more than once"},
        {kBridge, {"--baud", "9600", "-baud", "9600"}, "--baud is given more than once"},
        {kPanel, {"--bogus"}, "Unknown option 'bogus'."},
        {kBridge, {"--device"}, "Missing value after '--device'."},
        {kPanel, {"COM3"}, "unexpected argument \"COM3\""},
        {kBridge, {"--device", "/dev/ttyUSB0", "now"}, "unexpected argument \"now\""},
        // The programs' own options word their mistakes alike.
        {kCtl, {"--timeout", "soon", "status"}, "--timeout expects milliseconds from 1 to 600000, not \"soon\""},
        {kBridge, {"--max-clients", "65"}, "--max-clients expects a number from 1 to 64, not \"65\""},
        {kBridge, {"--password-file", ""}, "--password-file expects a file name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.program.name) + " " + testing::PrintToString(c.args));
        const Ran ran = run(c.program, c.args);
        EXPECT_EQ(ran.status, 1);
        EXPECT_EQ(ran.out, "");
        const std::string name = c.program.name;
        EXPECT_EQ(ran.err, name + ": " + c.says + "\nTry '" + name + " --help'.\n");
    }
}

TEST(SharedOptions, HelpAndVersionWinOverAnyOtherWordAndNameTheProgram) {
    const std::string version = std::string(" ") + kVersion + "\n";
    for (const Program& program : {kCtl, kBridge, kPanel}) {
        SCOPED_TRACE(program.name);
        const std::string usage = std::string("Usage: ") + program.name + " [options]";
        const Ran help = run(program, {"-h", "frobnicate", "--log", ""});
        EXPECT_EQ(help.status, 0) << help.err;
        EXPECT_EQ(help.out.substr(0, usage.size()), usage);
        EXPECT_EQ(help.out.find("--help-all"), std::string::npos);  // Qt's own do not apply
        EXPECT_EQ(help.err, "");
        const Ran shown = run(program, {"--version", "--log", ""});
        EXPECT_EQ(shown.status, 0) << shown.err;
        EXPECT_EQ(shown.out, program.name + version);
    }
}

}  // namespace
}  // namespace zelt::test
