// Every example command in the README, run as written, with the effect the
// README states for it. An example is an indented line starting with
// "Tarnwick.exe "; the comments after it say what it needs ("given") and
// what it does ("expect").
#include "tests/support/harness.h"

#include <fstream>
#include <sstream>

namespace {

struct Example {
    std::string arguments;
    std::vector<std::pair<std::string, std::string>> given, expected;
};

std::vector<Example> ReadExamples() {
    std::ifstream readme(TARNWICK_README);
    std::vector<Example> examples;
    bool open = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("    Tarnwick.exe ", 0) == 0) {
            examples.push_back({line.substr(17), {}, {}});
            open = true;
        } else if (open && line.rfind("<!-- ", 0) == 0 && line.size() > 9 &&
                   line.compare(line.size() - 4, 4, " -->") == 0) {
            const std::string body = line.substr(5, line.size() - 9);
            const auto colon = body.find(": ");
            const bool given = body.rfind("given ", 0) == 0;
            if (colon == std::string::npos || (!given && body.rfind("expect ", 0) != 0)) continue;
            const std::string key = body.substr(given ? 6 : 7, colon - (given ? 6 : 7));
            (given ? examples.back().given : examples.back().expected).emplace_back(key, body.substr(colon + 2));
        } else if (!line.empty()) {
            open = false;
        }
    }
    return examples;
}

// The arguments a stand-in received: its command line without the program's quoted path.
std::string ArgumentsOf(const std::string& commandLine) {
    const auto end = commandLine.size() > 1 && commandLine[0] == '"' ? commandLine.find('"', 1) : std::string::npos;
    return end == std::string::npos ? commandLine : commandLine.substr(std::min(end + 2, commandLine.size()));
}

std::vector<std::string> Trusted(const std::string& version) {
    std::vector<std::string> out;
    for (const auto& location : TrustedLocationsOf(version)) {
        const std::string path = location.path.rfind("REG_SZ:", 0) == 0 ? location.path.substr(7) : location.path;
        out.push_back(version + "|" + path + "|" + location.allowSubfolders);
    }
    return out;
}

class ReadmeExamples : public Scenario {
protected:
    void Run(const Example& example) {
        std::vector<std::string> reads;
        for (const auto& [key, value] : example.expected) {
            if (key == "seen") reads.push_back(value.substr(0, value.find(" = ")));
        }
        std::string access;
        for (const auto& [key, value] : example.given) {
            if (key == "install") access = InstallFullAccess(std::stoi(value), {{"lifetimeMs", "1500"}}, "", reads) + "\\MSACCESS.EXE";
            if (key == "value") {
                const auto first = value.find('|'), second = value.find('|', first + 1);
                const std::string path = value.substr(0, first);
                const std::string root = path.substr(0, path.find('\\'));
                SetRawValue(root == "HKEY_CURRENT_USER" ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                            path.substr(path.find('\\') + 1), value.substr(first + 1, second - first - 1), REG_SZ,
                            Sz(value.substr(second + 1)));
            }
            if (key == "launch32") PlaceFakeProgram(value + "\\launch32.exe", {}, {}, "fake_launch32.exe");
            if (key == "capture") {
                ASSERT_EQ(RunTarnwick("-CAPTURE"), 0);
            }
        }
        if (access.empty()) access = InstallRuntime2002({{"lifetimeMs", "1500"}}, reads);

        const long exitCode = RunTarnwick(example.arguments);
        EXPECT_EQ(exitCode, 0);
        const auto record = ReadRecord(access, 3000);
        const auto lines = LogLines();
        for (const auto& [key, value] : example.expected) {
            SCOPED_TRACE(key + ": " + value);
            if (key == "args") {
                EXPECT_EQ(ArgumentsOf(record.count("commandline") ? record.at("commandline") : ""), value);
            }
            if (key == "args-profile") {
                EXPECT_EQ(ArgumentsOf(record.at("commandline")), "\"" + LocalAppDataDir() + "\\" + value + "\"");
            }
            if (key == "show") {
                EXPECT_EQ(record.count("show") ? record.at("show") : "", value);
            }
            if (key == "log") {
                EXPECT_TRUE(std::find(lines.begin(), lines.end(), value) != lines.end());
            }
            if (key == "exit") {
                EXPECT_EQ(std::to_string(exitCode), value);
            }
            if (key == "access-ended") {
                EXPECT_TRUE(ProcessEnded(record.at("pid")));
            }
            if (key == "seen") {
                const std::string wanted = value.substr(value.find(" = ") + 3);
                bool found = false;
                for (const auto& [name, seen] : record) found = found || (name.rfind("read.", 0) == 0 && seen == wanted);
                EXPECT_TRUE(found);
            }
            if (key == "trusted") {
                const auto locations = Trusted(value.substr(0, value.find('|')));
                EXPECT_TRUE(std::find(locations.begin(), locations.end(), value) != locations.end());
            }
            if (key == "launch32-args") {
                std::string file = example.arguments.substr(example.arguments.find("-SECFILE=\"") + 10);
                file.resize(file.find('"'));
                const std::string launch32 = file.substr(0, file.rfind('\\')) + "\\launch32.exe";
                EXPECT_EQ(ArgumentsOf(ReadRecord(launch32)["commandline"]), value);
            }
            if (key == "snapshot") {
                EXPECT_EQ(PathExists(TempDir() + "~ZQReg.dat"), value == "exists");
            }
        }
    }
};

TEST_F(ReadmeExamples, EveryExampleDoesWhatTheReadmeSays) {
    const auto examples = ReadExamples();
    ASSERT_GE(examples.size(), 15u) << "the README's examples were not found in " << TARNWICK_README;
    for (const auto& example : examples) {
        SCOPED_TRACE("Tarnwick.exe " + example.arguments);
        EXPECT_FALSE(example.expected.empty()) << "an example without a stated effect";
        Scenario::SetUp();
        Run(example);
        KillStandIns();
    }
}

}  // namespace
