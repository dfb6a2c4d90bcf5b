// SPDX-License-Identifier: MIT
// The minisign key and signature parsers, the verifier and the manifest
// parser on arbitrary text: a public key, a signature and a manifest,
// separated by NUL bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "update/signature.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::string_view parts[3];
    for (std::string_view& part : parts) {
        const std::size_t end = rest.find('\0');
        part = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    const auto key = zal::parse_public_key(parts[0]);
    const auto signature = zal::parse_signature(parts[1]);
    if (signature && signature->trusted_comment.size() > parts[1].size()) std::abort();
    if (key && signature) (void)zal::verify_signature(*key, *signature, parts[2]);
    if (const auto manifest = zal::parse_manifest(parts[2])) {
        // What parses is what make_manifest writes back.
        if (zal::make_manifest(*manifest) != parts[2]) std::abort();
    }
    (void)zal::signer_of(parts[1]);
    return 0;
}
