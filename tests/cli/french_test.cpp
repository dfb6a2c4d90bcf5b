// SPDX-License-Identifier: MIT
// Every command, under a French locale, says nothing in English: its output
// holds none of the English words any of its sentences would have.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

namespace {

// Words of every English sentence the tool prints, and of none of its French.
const std::regex english(
    R"(\b(the|your|is|are|was|and|not|no|of|to|with|cannot|succeeded|failed|connected|written|run|started|outcome|duration|failure|success)\b)",
    std::regex::icase);

// The command's whole output, standard error too, in French; its engine's log
// lines ("[1-1 Ventaro] ...") are the log's, for support, and left out.
std::string run_in_french(const std::string& state, const std::string& arguments) {
    const std::string command =
        "LC_ALL=fr_FR.UTF-8 XDG_STATE_HOME=" + state + " " ZAL_CLI_PATH " " + arguments + " 2>&1 </dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string said;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe))
        if (line[0] != '[') said += line;
    ::pclose(pipe);
    return said;
}

TEST(French, NoCommandSaysAnythingInEnglish) {
    const auto state = std::filesystem::temp_directory_path() / ("zal-french-" + std::to_string(::getpid()));
    const std::string package = ZAL_SAMPLE_PACKAGE, report = (state / "report.txt").string();
    std::filesystem::create_directories(state);
    std::ofstream(state / "broken.zalmirupdate") << "not a package";
    char today[16];
    const std::time_t now = std::time(nullptr);
    std::strftime(today, sizeof today, "%d/%m/%Y", std::localtime(&now));
    const struct {
        std::string arguments;
        std::string shows;  // what shows that the command did its work
    } commands[] = {
        {"list --simulate ventaro", "ventaro"},
        {"list --simulate v1-bootloader", "première génération"},
        {"update --record --simulate ventaro " + package, "Mise à jour réussie"},
        {"update --record --simulate ruvo --fault unplug-at-roundtrip:30 " + package,
         "La connexion avec votre appareil a été perdue"},
        {"update --all --simulate ventaro --simulate ruvo " + package, "réussie"},
        {"history", today},  // as French writes a date
        {"report -o " + report, "Rapport d’assistance écrit"},
        {"inspect " + (state / "broken.zalmirupdate").string(), "broken.zalmirupdate"},
        {"check --trust-feed", "demande une valeur"},
    };
    for (const auto& c : commands) {
        const std::string said = run_in_french(state.string(), c.arguments);
        EXPECT_NE(said.find(c.shows), std::string::npos) << c.arguments << "\n" << said;
        std::smatch found;
        EXPECT_FALSE(std::regex_search(said, found, english)) << c.arguments << ": \"" << found.str() << "\" in\n"
                                                              << said;
    }
    std::filesystem::remove_all(state);
}

}  // namespace
