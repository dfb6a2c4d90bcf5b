#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace {

struct run_t {
    int status;
    std::vector<nlohmann::json> events;
    std::string err;
};

// Runs `update --json` and reads one JSON object per line.
run_t run_update(const std::string& arguments) {
    const auto err_path = std::filesystem::temp_directory_path() / ("zal-cli-update-" + std::to_string(::getpid()));
    const std::string command =
        std::string(ZAL_CLI_PATH) + " update --json " + arguments + " " + ZAL_SAMPLE_PACKAGE + " 2>" + err_path.string();
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = ::pclose(pipe);
    run_t result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, {}, {}};
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) result.events.push_back(nlohmann::json::parse(line));
    std::ifstream err(err_path);
    result.err.assign(std::istreambuf_iterator<char>(err), {});
    std::filesystem::remove(err_path);
    return result;
}

}  // namespace

TEST(UpdateCommand, SimulatedBootloaderIsProgrammedAndItsFlashWritten) {
    const auto flash = std::filesystem::temp_directory_path() / ("zal-flash-" + std::to_string(::getpid()));
    const run_t r = run_update("--simulate ruvo-bootloader --flash-out " + flash.string());
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(r.events.empty());
    EXPECT_EQ(r.events.front()["event"], "announce");
    EXPECT_EQ(r.events.front()["title"], "Connect your Ventaro or your Ruvo receiver");
    const auto& end = r.events.back();
    EXPECT_EQ(end["event"], "end");
    EXPECT_EQ(end["outcome"], "success");
    EXPECT_EQ(end["kind"], "ruvo");
    EXPECT_TRUE(end["message"].is_null());
    EXPECT_EQ(std::filesystem::file_size(flash), 1u << 20);
    std::filesystem::remove(flash);
}

TEST(UpdateCommand, FailureAndUsage) {
    const run_t failed = run_update("--simulate ventaro-bootloader --fault wrong-answer:0");
    EXPECT_EQ(failed.status, 1);
    ASSERT_FALSE(failed.events.empty());
    EXPECT_EQ(failed.events.back()["outcome"], "failure");
    EXPECT_EQ(failed.events.back()["message"], "Invalid bootloader info.");

    EXPECT_EQ(run_update("--fault no-answer:3").status, 2);  // faults need a simulated device
    EXPECT_EQ(run_update("--simulate toaster").status, 2);
    EXPECT_EQ(run_update("--simulate ventaro --fault no-answer").status, 2);
}
