// SPDX-License-Identifier: MIT
#include "update/signature.hpp"

#include <openssl/evp.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "common/text/printable.hpp"
#include "update/package_file.hpp"

#ifdef ZAL_HAS_TRUSTED_KEY
#include "trusted_key.hpp"
#endif

namespace zal {

namespace {

constexpr std::size_t max_key_file = 4096, max_signature_file = 4096;

// Strict base64: padding only at the end, no stray characters.
std::optional<std::string> base64_decode(std::string_view text) {
    if (text.empty() || text.size() % 4 != 0) return std::nullopt;
    std::string out;
    out.reserve(text.size() / 4 * 3);
    uint32_t bits = 0;
    int count = 0, padding = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        int value;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            value = c - '0' + 52;
        else if (c == '+')
            value = 62;
        else if (c == '/')
            value = 63;
        else if (c == '=' && i + 2 >= text.size())
            value = -1;
        else
            return std::nullopt;
        if (value < 0) {
            ++padding;
            value = 0;
        } else if (padding > 0) {
            return std::nullopt;  // data after padding
        }
        bits = (bits << 6) | uint32_t(value);
        if (++count == 4) {
            out.push_back(char(bits >> 16));
            out.push_back(char(bits >> 8));
            out.push_back(char(bits));
            bits = 0;
            count = 0;
        }
    }
    out.resize(out.size() - std::size_t(padding));
    return out;
}

// The text's lines, without their line ends ("\n" or "\r\n").
std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// Whether the lines from `from` on are empty: a file may end with line ends, no more.
bool nothing_after(const std::vector<std::string_view>& lines, std::size_t from) {
    return std::all_of(lines.begin() + std::ptrdiff_t(std::min(from, lines.size())), lines.end(),
                       [](std::string_view line) { return line.empty(); });
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

struct md_ctx_deleter {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct pkey_deleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};

bool ed25519_verify(const public_key_t& key, const uint8_t* signature, std::string_view message) {
    std::unique_ptr<EVP_PKEY, pkey_deleter> pkey(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.key.data(), key.key.size()));
    std::unique_ptr<EVP_MD_CTX, md_ctx_deleter> ctx(EVP_MD_CTX_new());
    if (!pkey || !ctx) return false;
    if (EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) != 1) return false;
    return EVP_DigestVerify(ctx.get(), signature, 64, reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
}

}  // namespace

std::string signer_of(std::string_view comment) {
    constexpr std::string_view prefix = "signer:";
    // Tab-separated "name:value" fields, as minisign writes its own.
    for (std::string_view rest = comment; !rest.empty();) {
        const std::size_t end = rest.find('\t');
        const std::string_view field = rest.substr(0, end);
        if (field.starts_with(prefix)) return std::string(field.substr(prefix.size()));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return {};
}

sha256_t sha256_of(std::string_view bytes) {
    sha256_t digest{};
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1)
        throw std::bad_alloc();
    return digest;
}

std::string hex_of(const uint8_t* bytes, std::size_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 15]);
    }
    return text;
}

std::string key_id_text(const std::array<uint8_t, 8>& key_id) {
    // As minisign prints it: a little-endian number in hex, without leading zeros.
    uint64_t number = 0;
    for (std::size_t i = key_id.size(); i-- > 0;) number = number << 8 | key_id[i];
    char text[17];
    std::snprintf(text, sizeof text, "%" PRIX64, number);
    return text;
}

result_t<public_key_t> parse_public_key(std::string_view text) {
    if (text.size() > max_key_file) {
        return failure_t{EINVAL, "The public key file is too large."};
    }
    const std::vector<std::string_view> lines = lines_of(text);
    // An optional comment line, then the key.
    std::size_t at = !lines.empty() && lines[0].starts_with("untrusted comment:") ? 1 : 0;
    const std::optional<std::string> raw = at < lines.size() ? base64_decode(lines[at]) : std::nullopt;
    if (!raw || raw->size() != 42 || raw->compare(0, 2, "Ed") != 0) {
        return failure_t{EINVAL, "Not a minisign Ed25519 public key."};
    }
    if (!nothing_after(lines, at + 1)) {
        return failure_t{EINVAL, "Unexpected text after the public key."};
    }
    public_key_t key;
    std::copy_n(raw->begin() + 2, 8, key.key_id.begin());
    std::copy_n(raw->begin() + 10, 32, key.key.begin());
    return key;
}

result_t<public_key_t> read_public_key(const std::string& path) {
    result_t<std::vector<unsigned char>> bytes = read_whole_file(path);
    if (!bytes) {
        return bytes.failure();
    }
    return parse_public_key(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

result_t<minisign_signature_t> parse_signature(std::string_view text) {
    if (text.size() > max_signature_file) {
        return failure_t{EINVAL, "The signature file is too large."};
    }
    const std::vector<std::string_view> lines = lines_of(text);
    if (lines.size() < 4 || !lines[0].starts_with("untrusted comment:") || !lines[2].starts_with("trusted comment: ")) {
        return failure_t{EINVAL, "Not a minisign signature."};
    }
    if (!nothing_after(lines, 4)) {
        return failure_t{EINVAL, "Unexpected text after the signature."};
    }
    const std::optional<std::string> raw = base64_decode(lines[1]);
    const std::optional<std::string> global = base64_decode(lines[3]);
    if (!raw || raw->size() != 74 || (raw->compare(0, 2, "ED") != 0 && raw->compare(0, 2, "Ed") != 0)) {
        return failure_t{EINVAL, "Not a minisign Ed25519 signature."};
    }
    if (!global || global->size() != 64) {
        return failure_t{EINVAL, "The signature's trusted comment has no valid signature."};
    }
    minisign_signature_t signature;
    signature.prehashed = (*raw)[1] == 'D';
    std::copy_n(raw->begin() + 2, 8, signature.key_id.begin());
    std::copy_n(raw->begin() + 10, 64, signature.signature.begin());
    signature.trusted_comment = std::string(lines[2].substr(17));
    std::copy_n(global->begin(), 64, signature.global_signature.begin());
    return signature;
}

result_t<void> verify_signature(const public_key_t& key, const minisign_signature_t& signature,
                                std::string_view message) {
    if (key.key_id != signature.key_id) {
        return failure_t{EINVAL, "The signature was made with another key."};
    }
    std::string prehash;
    if (signature.prehashed) {
        std::array<unsigned char, 64> digest{};
        unsigned int length = 0;
        if (EVP_Digest(message.data(), message.size(), digest.data(), &length, EVP_blake2b512(), nullptr) != 1 ||
            length != digest.size()) {
            return failure_t{EINVAL, "BLAKE2b-512 is not available."};
        }
        prehash.assign(reinterpret_cast<const char*>(digest.data()), digest.size());
        message = prehash;
    }
    if (!ed25519_verify(key, signature.signature.data(), message)) {
        return failure_t{EINVAL, "The manifest's signature does not verify."};
    }
    std::string signed_comment(reinterpret_cast<const char*>(signature.signature.data()), signature.signature.size());
    signed_comment += signature.trusted_comment;
    if (!ed25519_verify(key, signature.global_signature.data(), signed_comment)) {
        return failure_t{EINVAL, "The signature's trusted comment was changed."};
    }
    return {};
}

result_t<std::map<std::string, sha256_t>> parse_manifest(std::string_view text) {
    std::map<std::string, sha256_t> entries;
    std::string previous;
    std::size_t number = 0;
    while (!text.empty()) {
        if (++number > max_manifest_entries) {
            return failure_t{EINVAL,
                             "The manifest lists more than " + std::to_string(max_manifest_entries) + " entries."};
        }
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            return failure_t{EINVAL, "The manifest's last line has no line end."};
        }
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        sha256_t digest{};
        bool ok = line.size() > 66 && line[64] == ' ' && line[65] == ' ';
        for (std::size_t i = 0; ok && i < 32; ++i) {
            const int high = hex_digit(line[2 * i]), low = hex_digit(line[2 * i + 1]);
            ok = high >= 0 && low >= 0;
            digest[i] = uint8_t(high * 16 + low);
        }
        const std::string name(ok ? line.substr(66) : std::string_view());
        if (!ok || name.find('\r') != std::string::npos || name.find('\0') != std::string::npos) {
            return failure_t{EINVAL,
                             "Line " + std::to_string(number) + " of the manifest is not \"<sha256>  <name>\"."};
        }
        if (!entries.empty() && name <= previous) {
            return failure_t{EINVAL, "The manifest is not sorted by name, or lists \"" + printable(name) + "\" twice."};
        }
        previous = name;
        entries.emplace(name, digest);
    }
    return entries;
}

std::string make_manifest(const std::map<std::string, sha256_t>& entries) {
    std::string text;
    for (const auto& [name, digest] : entries) text += hex_of(digest.data(), digest.size()) + "  " + name + "\n";
    return text;
}

const char* status_name(signature_status_t status) {
    switch (status) {
        case signature_status_t::signed_package: return "signed";
        case signature_status_t::changed: return "changed";
        case signature_status_t::unknown_signer: return "unknown signer";
        case signature_status_t::unsigned_package: break;
    }
    return "unsigned";
}

std::optional<public_key_t> built_in_key() {
#ifdef ZAL_TRUSTED_KEY_TEXT
    result_t<public_key_t> key = parse_public_key(ZAL_TRUSTED_KEY_TEXT);
    if (key) return *key;
    return std::nullopt;
#else
    return std::nullopt;
#endif
}

std::map<std::string, std::string> read_settings(const std::string& root) {
    std::map<std::string, std::string> settings;
    result_t<std::vector<unsigned char>> file = read_whole_file(root + "/etc/ventaro-update/ventaro-update.conf");
    if (!file) return settings;
    const std::string_view text(reinterpret_cast<const char*>(file->data()), file->size());
    auto trim = [](std::string_view s) {
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
        return s;
    };
    for (std::string_view line : lines_of(text)) {
        const std::size_t equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string_view::npos) continue;
        settings.insert_or_assign(std::string(trim(line.substr(0, equals))),
                                  std::string(trim(line.substr(equals + 1))));
    }
    return settings;
}

std::vector<public_key_t> read_keys(const std::string& root, const char* const (&folders)[2],
                                    std::vector<std::string>& problems) {
    namespace fs = std::filesystem;
    std::vector<public_key_t> keys;
    for (const char* folder : folders) {
        const fs::path directory = fs::path(root + folder);
        std::error_code code;
        if (!fs::is_directory(directory, code)) continue;
        std::vector<fs::path> files;
        for (const fs::directory_entry& entry : fs::directory_iterator(directory, code))
            if (entry.path().extension() == ".pub") files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            if (result_t<public_key_t> key = read_public_key(file.string()))
                keys.push_back(*key);
            else
                problems.push_back(file.string() + ": " + key.failure().text);
        }
    }
    return keys;
}

trust_t load_trust(const std::string& root, std::vector<std::string>& problems) {
    trust_t trust;
    if (std::optional<public_key_t> key = built_in_key()) trust.keys.push_back(*key);
    for (const public_key_t& key :
         read_keys(root, {"/usr/share/ventaro-update/keys", "/etc/ventaro-update/keys"}, problems))
        trust.keys.push_back(key);
    const std::map<std::string, std::string> settings = read_settings(root);
    auto on = [&settings](const char* name) {
        const auto found = settings.find(name);
        return found != settings.end() && found->second == "true";
    };
    trust.require_signature = on("require-signature");
    trust.refuse_downgrade = on("refuse-downgrade");
    return trust;
}

}  // namespace zal
