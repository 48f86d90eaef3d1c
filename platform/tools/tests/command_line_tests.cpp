// What each tool and program says on its command line: --help on standard output with exit code 0, a usage
// error on standard error with exit code 2, and failures in words with exit code 1. Each run is a real
// process in the test's own prefix.
#include "testing/temporary_prefix.h"

#include <sys/wait.h>

#include <fstream>
#include <regex>

namespace {

struct Outcome {
    int exit_status = -1;
    std::string out, err;
};

std::string read_all(const std::filesystem::path &path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

class CommandLine : public platform::testing::PrefixTest {
protected:
    // `command` (which may start with variables to set) runs under sh with DISPLAY unset and the test's prefix.
    Outcome run(const std::string &command) const {
        auto out = folder_ / "stdout", err = folder_ / "stderr";
        std::string line =
            "env -u DISPLAY -u PLATFORM_DISPLAY_BACKEND " + command + " >" + out.string() + " 2>" + err.string();
        int status = std::system(line.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_all(out), read_all(err)};
    }
};

TEST_F(CommandLine, HelpUsageErrorsAndFailuresInWords) {
    const std::string pipecall = PIPECALL_PATH, servicectl = SERVICECTL_PATH, lanas = LANAS_PATH,
                      probe = WINMAIN_PROBE_PATH, no_lana = "PLATFORM_PREFIX=" + (folder_ / "no-lana").string();
    // LANA maps: one that names loopback and a missing interface, and one that names only the missing one.
    temporary_.write_config("[netbios]\nlana.0 = lo\nlana.3 = nosuchif0\n");
    std::filesystem::create_directory(folder_ / "no-lana");
    std::filesystem::permissions(folder_ / "no-lana", std::filesystem::perms::owner_all);
    std::ofstream(folder_ / "no-lana" / "platform.conf") << "[netbios]\nlana.3 = nosuchif0\n";
    std::filesystem::permissions(folder_ / "no-lana" / "platform.conf", std::filesystem::perms(0644));
    const std::string table = "LANA +INTERFACE +IPV4 ADDRESS +BROADCAST +MAC +STATE\n",
                      missing =
                          "lanas: [^\n]*platform.conf: \\[netbios\\] lana\\.3 = nosuchif0: there is no such "
                          "interface, so LANA 3 is not listed\n";
    struct Case {
        std::string command;
        int exit_status;
        std::string out, err;  // regular expressions the whole output must match
    };
    const Case cases[] = {
        {pipecall + " --help", 0, "Usage: pipecall [^]*--wait forever[^]*PLATFORM_PREFIX[^]*Example:[^]*", ""},
        {pipecall, 2, "", "pipecall: a pipe name and a request are needed\nUsage: pipecall [^]*"},
        {pipecall + " --wait x p r", 2, "", "pipecall: --wait x: not a number of milliseconds [^]*"},
        {pipecall + " --wait -5 p r", 2, "", "pipecall: --wait -5: not a number [^]*"},
        {pipecall + " --wait 4294967295 p r", 2, "", "pipecall: --wait 4294967295: not a number [^]*"},
        {pipecall + " --wait 18446744073709551616 p r", 2, "", "pipecall: --wait 18446744073709551616: [^]*"},
        {pipecall + " --wait", 2, "", "pipecall: --wait needs a number [^]*"},
        {pipecall + " --frob p r", 2, "", "pipecall: unknown option --frob\n[^]*"},
        {pipecall + " --wait 4294967294 '\\\\.\\pipe\\none' Q", 1, "",
         "pipecall: \\\\\\\\\\.\\\\pipe\\\\none: the exchange failed: The system cannot find the file specified\\. "
         "\\(error 2\\)\npipecall: no such pipe: is the service running\\? is PLATFORM_PREFIX the service's\\?\n"},
        {servicectl + " --help", 0, "Usage: servicectl [^]*restart NAME[^]*status NAME[^]*list[^]*PLATFORM_PREFIX[^]*",
         ""},
        {servicectl, 2, "", "servicectl: a command is needed\nUsage: servicectl [^]*"},
        {servicectl + " frob x", 2, "", "servicectl: unknown command frob\n[^]*"},
        {servicectl + " start", 2, "", "servicectl: start takes one service name\n[^]*"},
        {servicectl + " list", 0, "no services are registered\n", ""},
        {servicectl + " create Quick /bin/true && " + servicectl + " start Quick", 1, "Quick: STOPPED\n[^]*",
         "servicectl: start Quick: the service stopped at once \\(exit code 1053\\)\nservicectl: the service's own "
         "[^]*"},
        {servicectl + " create X /no/such", 1, "",
         "servicectl: create X: The system cannot find the file specified\\. \\(error 2\\): /no/such: no such file\n"},
        {servicectl + " create X /", 1, "", "servicectl: create X: Access is denied\\. \\(error 5\\): /: not a [^]*"},
        {servicectl + " status X", 1, "",
         "servicectl: status X: The specified service does not exist as an installed service\\. \\(error 1060\\)\n"
         "servicectl: servicectl list shows [^]*"},
        {lanas + " --help", 0, "Usage: lanas [^]*lana\\.N = INTERFACE[^]*PLATFORM_PREFIX[^]*Example:[^]*", ""},
        {lanas + " -l", 2, "", "lanas: unexpected argument -l\nUsage: lanas [^]*"},
        {lanas, 0, table + "0 +lo +127\\.0\\.0\\.1 +- +- +up\n3 +nosuchif0 +- +- +- +missing\n", missing},
        {no_lana + " " + lanas, 1, table + "3 +nosuchif0 +- +- +- +missing\n",
         missing + "lanas: no LANA: the map in [^\n]* names no interface that is up with an IPv4 address\n"},
        {probe + " --help", 0, "Usage: winmain_probe \\[ARGUMENT...\\]\nReports what WinMain was given.\n", ""},
        {"PLATFORM_DISPLAY_BACKEND=headless " + probe + " show-window", 0, "", ""},
        {probe + " show-window", 1, "",
         "winmain_probe: no X display: \\$DISPLAY is not set\\.\n[^]*PLATFORM_DISPLAY_BACKEND=headless[^]*"},
        {"DISPLAY=/no/such/display " + probe + " show-window", 1, "",
         "winmain_probe: cannot open the X display \\$DISPLAY=/no/such/display\\.\n[^]*"},
        {"PLATFORM_DISPLAY_BACKEND=x12 " + probe + " show-window", 1, "",
         "winmain_probe: PLATFORM_DISPLAY_BACKEND \\(or \\[display\\] backend\\) is \"x12\", neither [^]*"},
        {TARVOKE_PATH " --help", 0, "Usage: tarvoke [^]*PLATFORM_DISPLAY_BACKEND[^]*PLATFORM_PREFIX[^]*Example:[^]*",
         ""},
        {VESSAMIR_PATH " --help", 0, "Usage: vessamir [^]*PLATFORM_PREFIX[^]*Example:[^]*", ""},
    };
    for (const Case &c : cases) {
        Outcome result = run(c.command);
        EXPECT_EQ(result.exit_status, c.exit_status) << c.command << "\n" << result.err;
        EXPECT_TRUE(std::regex_match(result.out, std::regex(c.out))) << c.command << "\n" << result.out;
        EXPECT_TRUE(std::regex_match(result.err, std::regex(c.err))) << c.command << "\n" << result.err;
    }
}

}  // namespace
