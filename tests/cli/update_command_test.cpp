// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/stat.h>

#include "tools/package_writer.hpp"
#include "update/update.hpp"

namespace {

struct run_t {
    int status;
    std::vector<nlohmann::json> events;
    std::string err;
};

// Runs `update --json` and reads one JSON object per line.
run_t run_update(const std::string& arguments, const std::string& package = ZAL_SAMPLE_PACKAGE,
                 const char* command_name = "update --json", const std::string& environment = "") {
    const auto err_path = std::filesystem::temp_directory_path() / ("zal-cli-update-" + std::to_string(::getpid()));
    const std::string command = environment + " " + std::string(ZAL_CLI_PATH) + " " + command_name + " " + arguments +
                                " " + package + " 2>" + err_path.string() + " </dev/null";
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

// The texts come from the application's catalogues, in the language of the
// messages' locale; a language without a catalogue shows English.
TEST(UpdateCommand, TextsFollowTheLocale) {
    const struct {
        const char* environment;
        const char* title;
    } cases[] = {
        {"LC_ALL=fr_FR.UTF-8", "Branchez votre Ventaro ou votre boîtier Ruvo"},
        {"LC_ALL= LC_MESSAGES=fr_BE LANG=de_DE.UTF-8", "Branchez votre Ventaro ou votre boîtier Ruvo"},
        {"LC_ALL=C LANG=fr_FR.UTF-8", "Connect your Ventaro or your Ruvo receiver"},
        {"LC_ALL=de_DE.UTF-8", "Connect your Ventaro or your Ruvo receiver"},
    };
    for (const auto& c : cases) {
        const run_t r = run_update("--simulate ruvo-bootloader", ZAL_SAMPLE_PACKAGE, "update --json", c.environment);
        ASSERT_EQ(r.status, 0) << c.environment << "\n" << r.err;
        ASSERT_FALSE(r.events.empty());
        EXPECT_EQ(r.events.front()["title"], c.title) << c.environment;
    }
}

TEST(UpdateCommand, FailureAndUsage) {
    const run_t failed = run_update("--simulate ventaro-bootloader --fault wrong-answer:0");
    EXPECT_EQ(failed.status, 1);
    ASSERT_FALSE(failed.events.empty());
    EXPECT_EQ(failed.events.back()["outcome"], "failure");
    EXPECT_EQ(failed.events.back()["message"], "Invalid bootloader info.");
    EXPECT_EQ(failed.events.back()["failure"], "unknown-bootloader");
    EXPECT_TRUE(failed.events.back()["text"].is_string() && failed.events.back()["next"].is_string());

    EXPECT_EQ(run_update("--fault no-answer:3").status, 2);  // faults need a simulated device
    EXPECT_EQ(run_update("--simulate toaster").status, 2);
    EXPECT_EQ(run_update("--simulate ventaro --fault no-answer").status, 2);
}

namespace {

std::filesystem::path temp_path(const std::string& name) {
    return std::filesystem::temp_directory_path() / ("zal-" + name + "-" + std::to_string(::getpid()));
}

std::vector<unsigned char> read_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

// The device starts what its flash holds: a stage-2 image far from sector 0
// still starts as the stage-2 firmware once written.
TEST(UpdateCommand, Stage2ImageAwayFromSectorZero) {
    using namespace zal::tools;
    const auto package = temp_path("package");
    const auto zip = make_zip({{"info.txt", make_info_text("Test", "1.0.0", "2026-01-01")},
                               {"ruvo.hex", make_ihex({{0x08000000, make_synthetic_firmware(40000, 3)}})},
                               {"ruvo-stage2.hex", make_ihex({{0x08040000, make_synthetic_firmware(30000, 4)}})}});
    std::ofstream(package, std::ios::binary)
        .write(reinterpret_cast<const char*>(zip.data()), std::streamsize(zip.size()));
    const auto flash = temp_path("flash");
    const run_t r = run_update("--simulate ruvo --flash-out " + flash.string(), package.string());
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(r.events.empty());
    EXPECT_EQ(r.events.back()["outcome"], "success");
    // Both images are in the flash, each whole.
    const std::vector<unsigned char> bytes = read_bytes(flash);
    const zal::update_t update = zal::make_update(zip.data(), zip.size());
    for (const zal::firmware_t* image : {&update.ruvo->main, &*update.ruvo->stage2}) {
        for (const auto& [index, block] : image->sectors) {
            const std::size_t start = image->flash_map.sectors[index].base_address - 0x08000000;
            ASSERT_LE(start + block.size(), bytes.size());
            EXPECT_TRUE(std::equal(block.begin(), block.end(), bytes.begin() + std::ptrdiff_t(start)))
                << "sector " << index;
        }
    }
    std::filesystem::remove(package);
    std::filesystem::remove(flash);
}

// A run whose stage-2 firmware failed leaves the device running it; a second
// run on the flash it left succeeds without any replug.
TEST(UpdateCommand, SecondRunFromTheFlashAStage2ErrorLeft) {
    const auto first = temp_path("flash-first"), second = temp_path("flash-second");
    const run_t failed = run_update("--simulate ventaro --fault stage2-error:Broken --flash-out " + first.string());
    ASSERT_EQ(failed.status, 1) << failed.err;
    EXPECT_EQ(failed.events.back()["message"], "Broken");
    const run_t retried =
        run_update("--verbose --simulate ventaro --flash-in " + first.string() + " --flash-out " + second.string());
    EXPECT_EQ(retried.status, 0) << retried.err;
    EXPECT_NE(retried.err.find("The device runs its stage-2 firmware: continuing its update."), std::string::npos);
    // The same as a run that never failed.
    const auto clean = temp_path("flash-clean");
    ASSERT_EQ(run_update("--simulate ventaro --flash-out " + clean.string()).status, 0);
    EXPECT_TRUE(read_bytes(second) == read_bytes(clean));
    for (const auto& p : {first, second, clean}) std::filesystem::remove(p);
}

// Input that is no package cannot hang the command or make it swell.
TEST(UpdateCommand, BadInputIsRefusedAtOnce) {
    const auto fifo = temp_path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const char* command : {"inspect", "update"}) {
        const run_t r = run_update("", fifo.string(), command);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_EQ(r.err.rfind(fifo.string() + ": not a regular file\nCheck that", 0), 0u) << command;
    }
    std::filesystem::remove(fifo);
    EXPECT_EQ(run_update("", "/dev/zero", "inspect").err.rfind("/dev/zero: not a regular file\n", 0), 0u);

    const auto big = temp_path("big");
    std::filesystem::resize_file((std::ofstream(big), big), (32u << 20) + 1);
    EXPECT_EQ(run_update("", big.string(), "inspect").err.rfind(big.string() + ": larger than 32 MiB\n", 0), 0u);
    std::filesystem::remove(big);

    EXPECT_EQ(run_update("--simulate ventaro --fault power-cut:-1").status, 2);
    EXPECT_EQ(run_update("--simulate ventaro --kind ruvo").status, 2);
    EXPECT_EQ(run_update("--simulate v1-bootloader --kind ruvo --fault wrong-answer:0").status, 1);
}

// `list` shows each device once with its port; `update --port` takes only the
// device on that port: a simulated device is on "1-1", so another port waits.
TEST(UpdateCommand, ListAndPort) {
    const run_t listed = run_update("--simulate ruvo-unnamed --simulate v1-bootloader", "", "list --json");
    ASSERT_EQ(listed.status, 0) << listed.err;
    ASSERT_EQ(listed.events.size(), 1u);
    EXPECT_EQ(listed.events[0]["devices"],
              nlohmann::json::parse(R"([{"kind":"ruvo","state":"running","port":"1-1"},)"
                                    R"({"kind":"unknown","state":"bootloader","port":"1-2"}])"));
    EXPECT_EQ(run_update("--toaster", "", "list").status, 2);

    const run_t on_port = run_update("--verbose --simulate ventaro-bootloader --port 1-1");
    EXPECT_EQ(on_port.status, 0) << on_port.err;
    EXPECT_NE(on_port.err.find("The device is on USB port 1-1.\n"), std::string::npos);
    EXPECT_EQ(run_update("--simulate ventaro --port").status, 2);

    // Elsewhere nothing is found; Ctrl-C ends the wait.
    const std::string command = std::string("timeout -s INT 3 ") + ZAL_CLI_PATH +
                                " update --simulate ventaro --port 2-1 " + ZAL_SAMPLE_PACKAGE + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 124) << "still waiting for a device on port 2-1";

    // What can never be a port is a usage error at once, named but cut short.
    for (const std::string& port : {std::string("../../etc"), std::string("1-"), std::string("1-1..2"),
                                    std::string("0-1"), std::string("1-1.2.3.4.5.6.7.8"), std::string(10000, '1')}) {
        const run_t r = run_update("--simulate ventaro --port '" + port + "'");
        EXPECT_EQ(r.status, 2) << port;
        EXPECT_NE(r.err.find("--port takes a USB port path such as 1-1.4"), std::string::npos) << port;
        EXPECT_LT(r.err.size(), 2000u) << "the value is not echoed whole";
    }
}

// `update --all`: every device at once, each event naming its port, a summary
// line per device, and success only when every device succeeded.
TEST(UpdateCommand, AllDevicesAtOnce) {
    const run_t r = run_update(
        "--all --verbose --simulate ventaro --simulate ruvo --simulate ventaro-bootloader "
        "--fault wrong-answer:1");
    EXPECT_EQ(r.status, 1) << r.err;
    std::map<std::string, nlohmann::json> ends;
    for (const auto& event : r.events)
        if (event["event"] == "end") ends[event["port"]] = event;
    ASSERT_EQ(ends.size(), 3u) << r.err;
    EXPECT_EQ(ends["1-1"]["outcome"], "success");
    EXPECT_EQ(ends["1-2"]["outcome"], "success");
    EXPECT_EQ(ends["1-2"]["kind"], "ruvo");
    EXPECT_EQ(ends["1-3"]["outcome"], "failure");
    EXPECT_EQ(ends["1-3"]["failure"], "refused");
    EXPECT_EQ(ends["1-3"]["message"], "Wrong response in HID report.");
    EXPECT_NE(r.err.find("[1-2 Ruvo] Sent bootloader request."), std::string::npos);

    // In French, the failure in the application's words, last, one line per device.
    const run_t french =
        run_update("--all --simulate ruvo-bootloader --fault wrong-answer:1 --simulate ventaro >/dev/null",
                   ZAL_SAMPLE_PACKAGE, "update", "LC_ALL=fr_FR.UTF-8");
    EXPECT_EQ(french.status, 1);
    EXPECT_NE(french.err.find("1-1: Votre appareil n'a pas accepté ce que le programme de mise à jour lui a envoyé.\n"
                              "    Réponse erronée dans un rapport HID.\n"
                              "Débranchez votre appareil, rebranchez-le et relancez la mise à jour : elle terminera "
                              "le travail.\n"),
              std::string::npos)
        << french.err;
    EXPECT_EQ(french.err.find("[1-"), std::string::npos) << "the log only with --verbose";

    // A first-generation bootloader is updated only when --kind says what it is.
    const run_t unknown = run_update("--all --simulate v1-bootloader --simulate ventaro");
    EXPECT_EQ(unknown.status, 0);
    EXPECT_EQ(unknown.events.front()["event"], "left-alone");
    EXPECT_EQ(unknown.events.front()["port"], "1-1");
    EXPECT_NE(unknown.events.front()["text"].get<std::string>().find("give --kind ventaro or --kind ruvo"),
              std::string::npos);
    EXPECT_EQ(run_update("--all --kind ruvo --simulate v1-bootloader").status, 0);
    EXPECT_EQ(run_update("--all --port 1-1 --simulate ventaro").status, 2);
}
