// SPDX-License-Identifier: MIT
#include "cli/inspect.hpp"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>

#include "cli/catalogue.hpp"
#include "common/text/printable.hpp"
#include "update/package_file.hpp"
#include "update/update_plan.hpp"

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
        {"release_date", {d.year, d.month, d.day}},
        {"description", {update.description[0], update.description[1]}},
        {"notes", {update.notes[0], update.notes[1]}},
        {"ventaro", describe_device(update.ventaro)},
        {"ruvo", describe_device(update.ruvo)},
        {"signature", describe_signature(update.signature)},
    };
}

bool load_cli_trust(const std::vector<std::string>& extra_keys, trust_t& trust) {
    std::vector<std::string> problems;
    trust = load_trust("", problems);
    for (const std::string& problem : problems)
        write_line(stderr, fill(translated("Cli", "Trusted keys: %1"), {problem}));
    for (const std::string& path : extra_keys) {
        const result_t<public_key_t> key = read_public_key(path);
        if (!key) {
            write_line(stderr, path + ": " + key.failure().text);
            return false;
        }
        trust.keys.push_back(*key);
    }
    return true;
}

int inspect(int argc, char** argv) {
    std::vector<std::string> keys;
    const char* path = nullptr;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--trust") == 0 && i + 1 < argc) {
            keys.push_back(argv[++i]);
        } else if (argv[i][0] != '-' && path == nullptr) {
            path = argv[i];
        } else {
            write_line(stderr, fill(translated("Cli", "ventaro-update-cli: unexpected argument %1"), {argv[i]}));
            return 2;
        }
    }
    if (path == nullptr) {
        write_line(stderr, std::string("ventaro-update-cli: ") + translated("Cli", "no package given"));
        return 2;
    }
    trust_t trust;
    if (!load_cli_trust(keys, trust)) return 1;
    result_t<std::vector<unsigned char>> bytes = read_whole_file(path);
    if (!bytes) {
        write_line(stderr, std::string(path) + ": " + bytes.failure().text);
        return 1;
    }
    const result_t<update_t> update = read_update(bytes->data(), bytes->size(), trust);
    if (!update) {
        write_line(stderr, std::string(path) + ": " + translated("Engine", update.failure().text.c_str()));
        return 1;
    }
    // Texts from a package need not be valid UTF-8; replace what is not.
    const std::string text = describe_update(*update).dump(-1, ' ', false, json::error_handler_t::replace);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace zal::cli
