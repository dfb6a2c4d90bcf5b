// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>

#include "tools/package_writer.hpp"

namespace {

struct run_t {
    int status;
    std::string out;
    std::string err;
};

run_t run_command(const std::string& command_line) {
    const auto err_path = std::filesystem::temp_directory_path() / ("zal-cli-err-" + std::to_string(::getpid()));
    const std::string command = command_line + " 2>" + err_path.string();
    FILE* pipe = ::popen(command.c_str(), "r");
    run_t result{-1, {}, {}};
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.out.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(err_path);
    result.err.assign(std::istreambuf_iterator<char>(err), {});
    std::filesystem::remove(err_path);
    return result;
}

run_t run_cli(const std::string& arguments, const std::string& environment = "") {
    return run_command(environment + " " + ZAL_CLI_PATH + " " + arguments);
}

std::string write_temp(const std::vector<unsigned char>& bytes, const char* name) {
    const auto path = std::filesystem::temp_directory_path() / (std::to_string(::getpid()) + name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path.string();
}

}  // namespace

TEST(InspectCommand, DescribesTheSamplePackage) {
    const run_t r = run_cli(std::string("inspect ") + ZAL_SAMPLE_PACKAGE);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["product"], "Ventaro");  // the window's title: "Ventaro v2.1.0 Update"
    EXPECT_EQ(j["version"], nlohmann::json({2, 1, 0, 0}));
    EXPECT_EQ(j["release_date"], "2026-11-30");
    EXPECT_TRUE(j["description"]["en"].is_string());
    EXPECT_TRUE(j["notes"]["fr"].is_string());
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << "compact when piped";
    for (const char* kind : {"ventaro", "ruvo"}) {
        const auto& main = j[kind]["main"];
        ASSERT_TRUE(main.is_object()) << kind;
        EXPECT_TRUE(j[kind]["stage2"].is_object());
        // Sectors ascend; each sector's erase comes before its writes.
        int64_t last = -1;
        for (const auto& s : main["sectors"]) {
            EXPECT_GT(s["index"].get<int64_t>(), last);
            last = s["index"];
            EXPECT_EQ(s["sha256"].get<std::string>().size(), 64u);
        }
        EXPECT_TRUE(main["plan"][0].contains("erase"));
        EXPECT_EQ(main["plan"][0]["count"], 1);
    }
}

TEST(InspectCommand, KnownSha256OfABlock) {
    const std::string info = zal::tools::make_info_text("p", "1.0.0", "2020-02-02");
    // Three bytes in sector 1: no sector 0, so no entry patch; the block is exactly "abc".
    const std::vector<unsigned char> abc = {'a', 'b', 'c'};
    const auto zip =
        zal::tools::make_zip({{"info.txt", info}, {"ruvo.hex", zal::tools::make_ihex({{0x08004000, abc}})}});
    const std::string path = write_temp(zip, "known.zalmirupdate");
    const run_t r = run_cli("inspect " + path);
    std::filesystem::remove(path);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_TRUE(j["ventaro"].is_null());
    EXPECT_TRUE(j["ruvo"]["stage2"].is_null());
    const std::string abc_sha = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    EXPECT_EQ(j["ruvo"]["main"]["sectors"][0]["sha256"], abc_sha);
    EXPECT_EQ(
        j["ruvo"]["main"]["plan"],
        nlohmann::json::parse(R"([{"erase":16384,"count":1},{"write":16384,"size":3,"sha256":")" + abc_sha + R"("}])"));
}

TEST(InspectCommand, FailuresAndUsage) {
    const std::string info = zal::tools::make_info_text("p", "1.0.0", "2020-02-02");
    const std::string path = write_temp(zal::tools::make_zip({{"info.txt", info}}), "nodata.zalmirupdate");
    const run_t no_data = run_cli("inspect " + path);
    std::filesystem::remove(path);
    EXPECT_EQ(no_data.status, 1);
    EXPECT_EQ(no_data.err.rfind(path + ": No update data found.\n", 0), 0u) << no_data.err;
    EXPECT_EQ(no_data.out, "");

    const run_t missing = run_cli("inspect /nonexistent/package.zalmirupdate");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos);

    EXPECT_EQ(run_cli("").status, 2);
    EXPECT_EQ(run_cli("inspect").status, 2);
    EXPECT_EQ(run_cli("frobnicate x").status, 2);
}

// What a new user types first: each command's help on standard output, in the
// user's language; a mistake says where the help is.
TEST(CommandLine, HelpVersionAndUsage) {
    const struct {
        const char* arguments;
        int status;
        const char* out;  // a line of standard output
        const char* err;  // a line of standard error
    } rows[] = {
        {"--help", 0, "  update    updates a connected device\n", ""},
        {"-h", 0, "'ventaro-update-cli COMMAND --help' describes a command; --version prints the version.\n", ""},
        {"inspect --help", 0, "usage: ventaro-update-cli inspect [--trust PUBLIC_KEY]... [--compact] PACKAGE\n", ""},
        {"list -h", 0, "usage: ventaro-update-cli list [--json] [--simulate DEVICE]...\n", ""},
        {"update --help", 0, "FAULT: unplug-at-request, unplug-at-stage2,", ""},
        {"update --json --kind --help", 0, "  --quiet              nothing but errors\n", ""},
        {"history --limit --help", 0, "       ventaro-update-cli history --log RUN\n", ""},
        {"report -o --help", 0, "  -o, --output FILE    into FILE", ""},
        {"--version", 0, "ventaro-update-cli 1.0.0\n", ""},
        {"", 2, "", "Commands:\n"},
        {"--frobnicate", 2, "", "ventaro-update-cli: unknown command '--frobnicate'\n"},
        {"frobnicate --help", 2, "", "ventaro-update-cli: unknown command 'frobnicate'\n"},
        {"list --toaster", 2, "", "Try 'ventaro-update-cli list --help'.\n"},
        {"list --json --toaster", 2,
         R"({"error":"usage","text":"unknown argument --toaster","next":"Try 'ventaro-update-cli list --help'."})", ""},
        {"history --log x --json", 2, R"({"error":"usage",)", "Try 'ventaro-update-cli history --help'.\n"},
        {"report --json", 2, "", "Try 'ventaro-update-cli report --help'.\n"},
        {"inspect --bogus x", 2, "", "Try 'ventaro-update-cli inspect --help'.\n"},
        {"update x --port", 2, "", "Try 'ventaro-update-cli update --help'.\n"},
    };
    for (const auto& row : rows) {
        const run_t r = run_cli(row.arguments);
        EXPECT_EQ(r.status, row.status) << row.arguments;
        EXPECT_NE(r.out.find(row.out), std::string::npos) << row.arguments << "\n" << r.out;
        EXPECT_NE(r.err.find(row.err), std::string::npos) << row.arguments << "\n" << r.err;
    }
    EXPECT_EQ(run_cli("--help").out.find("power-cut"), std::string::npos) << "faults are update's";
    EXPECT_NE(run_cli("update --help", "LC_ALL=fr_FR.UTF-8").out.find("utilisation : ventaro-update-cli update"),
              std::string::npos);
}

// The application and the demo answer without a desktop: no window opens.
TEST(CommandLine, ApplicationHelpAndVersion) {
    for (const char* program : {ZAL_APP_PATH, ZAL_DEMO_PATH})
        for (const auto& [flag, line] : {std::pair{"--help", "\nArguments:\n  PACKAGE "}, {"-v", " 1.0.0\n"}}) {
            const run_t r = run_command(std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LC_ALL=C ") +
                                        program + " " + flag);
            EXPECT_EQ(r.status, 0) << program << " " << flag << "\n" << r.err;
            EXPECT_NE(r.out.find(line), std::string::npos) << program << " " << flag << "\n" << r.out;
        }
}

// What an update shows on a terminal: the user's messages; the log, with its
// times, only with --verbose; errors only with --quiet; each failure ends
// with what to do next.
TEST(CommandLine, WhatAnUpdateShows) {
    const struct {
        const char* arguments;
        int status;
        const char* shown;      // a pattern of standard output and error
        const char* not_shown;  // a text of neither
    } rows[] = {
        {"--simulate ruvo-bootloader", 0, "Update succeeded: Ruvo\n", "Will execute"},
        {"--verbose --simulate ruvo-bootloader", 0, R"(\n\d\d:\d\d:\d\d\.\d\d\d \[1-1 Ruvo\] Will execute \d+ HID)",
         "MIDI devices: none.\nMIDI devices: none."},
        {"--quiet --simulate ruvo-bootloader", 0, "^$", ""},
        {"--simulate ventaro-bootloader --fault wrong-answer:0", 1,
         "\n    Invalid bootloader info.\nDisconnect your device, connect it again and run the update once more",
         "Will execute"},
        {"--quiet --simulate ventaro-bootloader --fault wrong-answer:0", 1,
         "^The device waiting for its firmware is not one", "Connect"},
        {"--simulate v1-bootloader", 1,
         "A first-generation bootloader is connected: it does not tell whether it is a Ventaro or a Ruvo receiver.\n"
         "Give --kind ventaro or --kind ruvo to say which",
         "Update cancelled"},
        {"--verbose --quiet", 2, "--verbose and --quiet exclude each other", ""},
    };
    for (const auto& row : rows) {
        const run_t r = run_cli(std::string("update ") + row.arguments + " " + ZAL_SAMPLE_PACKAGE + " </dev/null");
        const std::string shown = r.out + r.err;
        EXPECT_EQ(r.status, row.status) << row.arguments << "\n" << shown;
        EXPECT_TRUE(std::regex_search(shown, std::regex(row.shown))) << row.arguments << "\n" << shown;
        if (*row.not_shown) {
            EXPECT_EQ(shown.find(row.not_shown), std::string::npos) << row.arguments << "\n" << shown;
        }
    }
}
