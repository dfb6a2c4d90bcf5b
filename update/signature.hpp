// SPDX-License-Identifier: MIT
#pragma once

// Signed packages: a `manifest.sha256` entry lists the SHA-256 of every other
// entry, as sha256sum writes it, and `manifest.sha256.minisig` is a minisign
// signature of the manifest (Ed25519, pre-hashed with BLAKE2b-512 or legacy).

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure.hpp"

namespace zal {

inline constexpr const char* manifest_name = "manifest.sha256";
inline constexpr const char* manifest_signature_name = "manifest.sha256.minisig";

using sha256_t = std::array<uint8_t, 32>;
sha256_t sha256_of(std::string_view bytes);
std::string hex_of(const uint8_t* bytes, std::size_t length);

// A minisign public key file.
struct public_key_t {
    std::array<uint8_t, 8> key_id{};
    std::array<uint8_t, 32> key{};
};
result_t<public_key_t> parse_public_key(std::string_view text);
// The same from a file: the one reader of the application, the CLI and the trusted folders.
result_t<public_key_t> read_public_key(const std::string& path);

// A minisign signature file.
struct minisign_signature_t {
    bool prehashed = true;  // "ED": the message's BLAKE2b-512 is signed; "Ed": the message itself
    std::array<uint8_t, 8> key_id{};
    std::array<uint8_t, 64> signature{};
    std::string trusted_comment;
    std::array<uint8_t, 64> global_signature{};  // of the signature followed by the trusted comment
};
result_t<minisign_signature_t> parse_signature(std::string_view text);

// The "signer:" field of a trusted comment (tab-separated "name:value" fields,
// as minisign writes its own), or nothing.
std::string signer_of(std::string_view trusted_comment);

// A key id as minisign prints it: upper-case hex, without leading zeros.
std::string key_id_text(const std::array<uint8_t, 8>& key_id);

// Both signatures verified with OpenSSL, or why not.
result_t<void> verify_signature(const public_key_t& key, const minisign_signature_t& signature,
                                std::string_view message);

// A manifest lists at most as many entries as a package may hold.
inline constexpr std::size_t max_manifest_entries = 1000;

// A manifest's lines, by entry name. Strict: "<64 lower-case hex>  <name>\n"
// each, sorted by name, no name twice, no empty name, nothing else, at most
// `max_manifest_entries` lines.
result_t<std::map<std::string, sha256_t>> parse_manifest(std::string_view text);
std::string make_manifest(const std::map<std::string, sha256_t>& entries);

enum class signature_status_t { unsigned_package, signed_package, changed, unknown_signer };
const char* status_name(signature_status_t status);  // "unsigned", "signed", "changed", "unknown signer"

struct package_signature_t {
    signature_status_t status = signature_status_t::unsigned_package;
    std::string key_id;           // of the signature, when there is one
    std::string trusted_comment;  // signed along with the manifest
    std::string signer;           // the trusted comment's "signer:" field
    std::string reason;           // why the package counts as changed
};

// The keys a package may be signed with, and whether unsigned packages are refused.
struct trust_t {
    std::vector<public_key_t> keys;
    bool require_signature = false;
    // Packages older than the firmware this computer last installed are
    // refused; with require_signature only, since otherwise any package could
    // claim a later version.
    bool refuse_downgrade = false;
};

// The trusted keys of this computer: the minisign public key files (*.pub) in
// `<root>/usr/share/ventaro-update/keys/` and `<root>/etc/ventaro-update/keys/`,
// the key built in, and `require-signature=true` (and `refuse-downgrade=true`) in
// `<root>/etc/ventaro-update/ventaro-update.conf`. Files that cannot be read are
// reported in `problems` and skipped.
trust_t load_trust(const std::string& root, std::vector<std::string>& problems);
// The minisign public key files (*.pub) in `<root>` + each folder, sorted by
// name in each; files that cannot be read are reported in `problems`.
std::vector<public_key_t> read_keys(const std::string& root, const char* const (&folders)[2],
                                    std::vector<std::string>& problems);
// The `name=value` lines of `<root>/etc/ventaro-update/ventaro-update.conf`,
// blanks trimmed, the last of a name kept; none when it cannot be read.
std::map<std::string, std::string> read_settings(const std::string& root);
// The key given at build time, if any.
std::optional<public_key_t> built_in_key();

}  // namespace zal
