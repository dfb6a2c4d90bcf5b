// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "tools/package_writer.hpp"

namespace {

struct run_t {
    int status;
    std::string out;
    std::string err;
};

run_t run_cli(const std::string& arguments) {
    const auto err_path = std::filesystem::temp_directory_path() / ("zal-cli-err-" + std::to_string(::getpid()));
    const std::string command = std::string(ZAL_CLI_PATH) + " " + arguments + " 2>" + err_path.string();
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
    EXPECT_EQ(j["release_date"], nlohmann::json({2026, 11, 30}));
    EXPECT_EQ(j["description"].size(), 2u);
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
    EXPECT_EQ(no_data.err, path + ": No update data found.\n");
    EXPECT_EQ(no_data.out, "");

    const run_t missing = run_cli("inspect /nonexistent/package.zalmirupdate");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos);

    EXPECT_EQ(run_cli("").status, 2);
    EXPECT_EQ(run_cli("inspect").status, 2);
    EXPECT_EQ(run_cli("frobnicate x").status, 2);
}

// What a new user types first.
TEST(CommandLine, HelpAndVersion) {
    for (const char* flag : {"--help", "-h"}) {
        const run_t r = run_cli(flag);
        EXPECT_EQ(r.status, 0) << flag;
        EXPECT_NE(r.out.find("usage: ventaro-update-cli inspect"), std::string::npos) << flag;
    }
    const run_t version = run_cli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "ventaro-update-cli 1.0.0\n");
    EXPECT_EQ(run_cli("--frobnicate").status, 2);
}
