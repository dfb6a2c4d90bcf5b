// SPDX-License-Identifier: MIT
#include "cli/inspect.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>

#include "cli/catalogue.hpp"
#include "cli/help.hpp"
#include "common/text/printable.hpp"
#include "update/package_file.hpp"
#include "update/update_plan.hpp"
#include "updater/run_recorder.hpp"

namespace zal::cli {

namespace {

using json = nlohmann::ordered_json;

// The same digest as the package reader's, as sha256sum writes it.
std::string sha256_hex(const unsigned char* data, std::size_t size) {
    const sha256_t digest = sha256_of({reinterpret_cast<const char*>(data), size});
    return hex_of(digest.data(), digest.size());
}

json describe_image(const firmware_t& image) {
    json sectors = json::array();
    const std::map<uint64_t, const std::vector<unsigned char>*> ordered = [&] {
        std::map<uint64_t, const std::vector<unsigned char>*> m;
        for (const auto& [index, block] : image.sectors) m[index] = &block;
        return m;
    }();
    for (const auto& [index, block] : ordered)
        sectors.push_back(
            {{"index", index}, {"length", block->size()}, {"sha256", sha256_hex(block->data(), block->size())}});

    json plan = json::array();
    const update_plan_t update_plan = make_update_plan(image);
    for (const update_action_t& action : update_plan.actions) {
        if (action.operation == update_action_t::operation_t::erase)
            plan.push_back({{"erase", action.address}, {"count", action.count}});
        else
            plan.push_back(
                {{"write", action.address}, {"size", action.size}, {"sha256", sha256_hex(action.data, action.size)}});
    }
    // The updater refuses such an image before erasing anything.
    return {{"sectors", sectors}, {"plan", plan}, {"touches_bootloader", touches_bootloader(update_plan)}};
}

json by_language(const std::array<std::string, 2>& texts) {
    json by;
    for (std::size_t l = 0; l < texts.size(); ++l) by[lang_short_name[l]] = texts[l];
    return by;
}

json describe_device(const std::optional<device_update_t>& device) {
    if (!device) return nullptr;
    return {{"main", describe_image(device->main)},
            {"stage2", device->stage2 ? describe_image(*device->stage2) : json(nullptr)}};
}

}  // namespace

json describe_signature(const package_signature_t& s) {
    json signature = {{"status", status_name(s.status)}};
    // Only a trusted key's signature vouches for its comment and signer: any
    // other comment is whatever its maker wrote.
    const bool verified = s.status == signature_status_t::signed_package;
    if (!s.key_id.empty()) signature["key_id"] = s.key_id;
    if (!s.key_id.empty()) signature["trusted_comment"] = s.trusted_comment;
    if (!s.key_id.empty()) signature["verified"] = verified;
    if (verified && !s.signer.empty()) signature["signer"] = s.signer;
    if (!s.reason.empty()) signature["reason"] = s.reason;
    return signature;
}

json describe_update(const update_t& update) {
    const version_t& v = update.version;
    const date_t& d = update.release_date;
    return {
        {"product", update.product},
        {"version_string", update.version_string},
        {"version", {v.major, v.minor, v.patch, v.beta}},
        {"release_date", updater::date_text(d)},
        {"description", by_language(update.description)},
        {"notes", by_language(update.notes)},
        {"ventaro", describe_device(update.ventaro)},
        {"ruvo", describe_device(update.ruvo)},
        {"signature", describe_signature(update.signature)},
    };
}

result_t<trust_t> load_cli_trust(const std::vector<std::string>& extra_keys) {
    std::vector<std::string> problems;
    trust_t trust = load_trust("", problems);
    for (const std::string& problem : problems)
        write_line(stderr, fill(translated("Cli", "Trusted keys: %1"), {problem}));
    for (const std::string& path : extra_keys) {
        const result_t<public_key_t> key = read_public_key(path);
        if (!key) return failure_t{key.failure().code, path + ": " + key.failure().text};
        trust.keys.push_back(*key);
    }
    return trust;
}

result_t<update_t> read_package(const std::string& path, const trust_t& trust) {
    result_t<std::vector<unsigned char>> bytes = read_whole_file(path);
    if (!bytes) return failure_t{bytes.failure().code, path + ": " + bytes.failure().text};
    result_t<update_t> update = read_update(bytes->data(), bytes->size(), trust);
    if (!update)
        return failure_t{update.failure().code, path + ": " + translated("Engine", update.failure().text.c_str())};
    return update;
}

int tell_unreadable_package(bool json, const failure_t& failure) {
    return tell_error(json, "package-unreadable", failure.text,
                      translated("Cli",
                                 "Check that this is the update package you downloaded, or download it again "
                                 "from the maker's web site."));
}

int tell_unreadable_key(bool json, const failure_t& failure) {
    return tell_error(json, "key-unreadable", fill(translated("Cli", "This key could not be read: %1"), {failure.text}),
                      translated("Cli",
                                 "Check the name of the key file given with --trust or --trust-feed, or ask the "
                                 "maker for the key again."));
}

int inspect(int argc, char** argv) {
    std::vector<std::string> keys;
    const char* path = nullptr;
    bool compact = !isatty(STDOUT_FILENO);
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--trust") == 0 && i + 1 < argc) {
            keys.push_back(argv[++i]);
        } else if (std::strcmp(argv[i], "--compact") == 0) {
            compact = true;
        } else if (argv[i][0] != '-' && path == nullptr) {
            path = argv[i];
        } else {
            return usage_error(false, "inspect", fill(translated("Cli", "unexpected argument %1"), {argv[i]}));
        }
    }
    if (path == nullptr) return usage_error(false, "inspect", translated("Cli", "no package given"));
    const result_t<trust_t> trust = load_cli_trust(keys);
    if (!trust) return tell_unreadable_key(false, trust.failure());
    const result_t<update_t> update = read_package(path, *trust);
    if (!update) return tell_unreadable_package(false, update.failure());
    // Texts from a package need not be valid UTF-8; replace what is not.
    const std::string text =
        describe_update(*update).dump(compact ? -1 : 2, ' ', false, json::error_handler_t::replace);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace zal::cli
