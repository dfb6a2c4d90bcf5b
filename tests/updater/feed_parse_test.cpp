// SPDX-License-Identifier: MIT
// What the feed's parser takes and refuses, and when a feed it took is not believed.
#include <gtest/gtest.h>

#include "updater/feed.hpp"

namespace zal::updater {
namespace {

const std::string package = R"({"kind": "ventaro", "version": "2.3.0", "released": "2026-12-01", "url": "v.zip",
    "size": 10, "sha256": "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff"})";
std::string feed_with(const std::string& serial, const std::string& issued, const std::string& entry) {
    return R"({"serial": )" + serial + R"(, "issued": ")" + issued +
           R"(", "expires": "2027-01-01T00:00:00Z", "packages": [)" + entry + "]}";
}
std::string with(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

TEST(Feed, ParserRefusesWhatIsNotAFeed) {
    const std::string issued = "2026-12-01T00:00:00Z";
    const struct {
        std::string text, refusal;  // empty: read
    } rows[] = {
        {feed_with("7", issued, package), ""},
        {feed_with("7", issued, package + "," + with(package, "2.3.0", "2.4.0b1")), ""},
        {"[]", "not a JSON object"},
        {feed_with("-7", issued, package), "\"serial\" is missing"},
        {feed_with("7.5", issued, package), "\"serial\" is missing"},
        {feed_with("7", "2026-02-30T00:00:00Z", package), "its dates"},
        {feed_with("7", "2026-12-01 00:00:00Z", package), "its dates"},
        {feed_with("7", "2027-02-01T00:00:00Z", package), "expiring after issue"},
        {feed_with("7", issued, with(package, "ventaro", "any")), "kind"},
        {feed_with("7", issued, with(package, "2.3.0", "2.3")), "version"},
        {feed_with("7", issued, with(package, "2026-12-01", "2026-13-01")), "release date"},
        {feed_with("7", issued, with(package, "\"size\": 10", "\"size\": 0")), "size"},
        {feed_with("7", issued, with(package, "\"size\": 10", "\"size\": 33554433")), "size"},
        {feed_with("7", issued, with(package, "00112233", "0011223G")), "sha256"},
        {feed_with("7", issued, with(package, "\"v.zip\"", "\"\"")), "address"},
        {std::string(max_feed_bytes + 1, ' '), "larger than its bound"},
    };
    for (const auto& row : rows) {
        const result_t<feed_t> feed = parse_feed(row.text);
        if (row.refusal.empty())
            EXPECT_TRUE(feed && parse_feed(feed_text(*feed))) << row.text;
        else
            EXPECT_TRUE(!feed && feed.failure().text.find(row.refusal) != std::string::npos)
                << row.text << " -> " << (feed ? "read" : feed.failure().text);
    }
}

TEST(Feed, ABelievedFeedIsNotOlderNotExpiredAndNotFromTheFuture) {
    const feed_t feed{.serial = 7, .issued = 1'000'000, .expires = 2'000'000, .packages = {}, .lowest_safe = {}};
    const struct {
        std::optional<int64_t> last_serial;
        int64_t now;
        const char* refusal;
    } rows[] = {
        {std::nullopt, 1'500'000, nullptr}, {7, 1'500'000, nullptr},      {6, 1'000'000 - 86'400, nullptr},
        {8, 1'500'000, feed_replayed},      {7, 2'000'001, feed_expired}, {7, 1'000'000 - 86'401, feed_from_future},
    };
    for (const auto& row : rows) {
        const std::optional<sentence_t> refusal = feed_refusal(feed, row.last_serial, row.now);
        EXPECT_EQ(refusal ? refusal->english : nullptr, row.refusal) << row.now;
    }
}

}  // namespace
}  // namespace zal::updater
