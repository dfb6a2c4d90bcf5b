// SPDX-License-Identifier: MIT
#include "common/midi_io/midi_io.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "common/async/async.hpp"
#include "common/async/main_queue.hpp"
#include "common/midi_io/alsa/alsa_service.hpp"
#include "common/midi_io/virtual/virtual_service.hpp"

using namespace zal;
using namespace zal::midi;
using namespace zal::midi::io;

namespace {

constexpr int both = service_t::is_source | service_t::is_destination;

class MidiIo : public ::testing::Test {
protected:
    void SetUp() override {
        main_queue::attach_current_thread(true);
        service = std::make_unique<virtual_service_t>();
        set_service(service.get());
        ASSERT_TRUE(init("VentaroUpdate"));
        setup_changes = subscribe_to_setup_changes([this] { events.push_back("update"); });
    }
    void TearDown() override {
        deinit();
        set_service(nullptr);
        service.reset();
    }

    int32_t plug(const char* model, const char* name, std::vector<uint8_t>* received = nullptr) {
        const int32_t id = service->add_endpoint(model, name, std::string(model) + " " + name, both,
                                                 [this, received](const uint8_t* b, std::size_t n) {
                                                     std::lock_guard lock(mutex);
                                                     if (received) received->insert(received->end(), b, b + n);
                                                 });
        return id;
    }

    void from_device(int32_t id, std::vector<uint8_t> bytes) {
        service->device_send(id, bytes.data(), bytes.size());
        service->flush();
    }

    std::vector<message_t> messages() {
        std::lock_guard lock(mutex);
        return received_messages;
    }

    on_message_t collect() {
        return [this](message_t m) {
            std::lock_guard lock(mutex);
            received_messages.push_back(m);
        };
    }

    std::unique_ptr<virtual_service_t> service;
    std::mutex mutex;
    std::vector<message_t> received_messages;
    std::vector<std::string> events;  // main-thread only
    setup_subscription_t setup_changes;
};

}  // namespace

TEST_F(MidiIo, ListsNamesAndKinds) {
    const int32_t ruvo = plug("Ventaro Ruvo", "MIDI DIN");
    const int32_t out_only = service->add_endpoint("BCR2000", "Port 1", "BCR2000 Port 1", service_t::is_destination);
    ASSERT_EQ(in_size(), 1u);
    ASSERT_EQ(out_size(), 2u);
    EXPECT_EQ(in_get(0), make_in(ruvo));
    EXPECT_EQ(in_get(1), no_in);
    EXPECT_EQ(out_get(1), make_out(out_only));
    EXPECT_EQ(get_model(in_get(0)), "Ventaro Ruvo");
    EXPECT_EQ(get_port_name(in_get(0)), "MIDI DIN");
    EXPECT_EQ(get_model(make_out(out_only)), "BCR2000");
    EXPECT_EQ(get_name(make_in(ruvo)), "Ventaro Ruvo MIDI DIN");

    // The wrong direction, the no-port value and an unknown id name nothing.
    EXPECT_EQ(get_model(make_in(out_only)), "");
    EXPECT_EQ(get_name(no_in), "");
    testing::internal::CaptureStderr();
    EXPECT_EQ(get_name(make_in(12345)), "");
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(log.rfind("common/midi_io/midi_io:", 0), 0u) << log;
    EXPECT_NE(log.find(": Error: No such file or directory.\n"), std::string::npos) << log;
}

TEST_F(MidiIo, ReceivesFromAttachedInputsOnly) {
    const int32_t a = plug("Ventaro", "MIDI 1");
    const int32_t b = plug("Ventaro Ruvo", "Ventaro");
    ASSERT_TRUE(attach(make_in(a), collect(), {}, {}));
    from_device(a, {0x90, 0x3C});
    from_device(a, {0x64});
    from_device(b, {0x80, 0x01, 0x02});  // not attached
    EXPECT_EQ(messages(), (std::vector<message_t>{{0x90, 0x3C, 0x64}}));
}

TEST_F(MidiIo, SysexBodiesReachTheirHandler) {
    const int32_t a = plug("Ventaro", "MIDI 1");
    std::vector<std::vector<uint8_t>> bodies;
    ASSERT_TRUE(attach(make_in(a), {},
                       [&](const uint8_t* d, std::size_t n, bool incomplete) {
                           EXPECT_FALSE(incomplete);
                           bodies.emplace_back(d, d + n);
                       },
                       {}));
    from_device(a, {0xF0, 0x00, 0x31});
    from_device(a, {0x33, 0x7F, 0xF7});
    EXPECT_EQ(bodies, (std::vector<std::vector<uint8_t>>{{0x00, 0x31, 0x33, 0x7F}}));
}

TEST_F(MidiIo, AttachTwiceKeepsTheFirstCallbacks) {
    const int32_t a = plug("Ventaro", "MIDI 1");
    int second = 0;
    ASSERT_TRUE(attach(make_in(a), collect(), {}, {}));
    EXPECT_TRUE(attach(make_in(a), [&](message_t) { ++second; }, {}, {}));
    from_device(a, {0xC0, 0x01});
    EXPECT_EQ(messages().size(), 1u);
    EXPECT_EQ(second, 0);
}

TEST_F(MidiIo, DetachStopsReceivingAndToleratesUnattachedInputs) {
    const int32_t a = plug("Ventaro", "MIDI 1");
    EXPECT_TRUE(detach(make_in(a)));
    EXPECT_TRUE(detach(no_in));
    EXPECT_FALSE(attach(no_in, {}, {}, {}));
    EXPECT_FALSE(attach(make_in(999), {}, {}, {}));
    ASSERT_TRUE(attach(make_in(a), collect(), {}, {}));
    EXPECT_TRUE(detach(make_in(a)));
    from_device(a, {0xC0, 0x01});
    EXPECT_TRUE(messages().empty());
}

TEST_F(MidiIo, UnplugWhileAttachedDisconnectsOnceThenUpdates) {
    const int32_t a = plug("Ventaro", "MIDI 1");
    const int32_t b = plug("Ventaro Ruvo", "Ventaro");
    ASSERT_TRUE(attach(make_in(a), collect(), {}, [&] { events.push_back("disconnect a"); }));
    ASSERT_TRUE(attach(make_in(b), {}, {}, [&] { events.push_back("disconnect b"); }));

    service->remove_endpoint(a);
    service->announce_setup_change();
    main_queue::advance(0);
    EXPECT_EQ(events, (std::vector<std::string>{"disconnect a", "update"}));

    // The handler is gone: a device that comes back under the same id is not heard.
    service->announce_setup_change();
    main_queue::advance(0);
    EXPECT_EQ(events, (std::vector<std::string>{"disconnect a", "update", "update"}));

    service->set_offline(b, true);
    service->announce_setup_change();
    main_queue::advance(0);
    EXPECT_EQ(events.back(), "update");
    EXPECT_EQ(events[events.size() - 2], "disconnect b");
    EXPECT_TRUE(detach(make_in(b)));  // nothing left to detach
}

TEST_F(MidiIo, SendForms) {
    std::vector<uint8_t> got;
    const int32_t a = plug("Ventaro", "MIDI 1", &got);
    const auto sent = [&](auto&&... args) {
        got.clear();
        EXPECT_TRUE(send(make_out(a), args...));
        service->flush();
        std::lock_guard lock(mutex);
        return got;
    };
    EXPECT_EQ(sent(message_t{0x90, 0x3C, 0x64}), (std::vector<uint8_t>{0x90, 0x3C, 0x64}));
    EXPECT_EQ(sent(message_t{0x90, 0x3C, 0x80}), (std::vector<uint8_t>{0x90, 0x3C}));
    EXPECT_EQ(sent(message_t{0xF8, 0x80, 0x80}), (std::vector<uint8_t>{0xF8}));
    const message_t two[] = {{0xC0, 0x05, 0x80}, {0xB0, 0x07, 0x7F}};
    EXPECT_EQ(sent(two, std::size_t(2)), (std::vector<uint8_t>{0xC0, 0x05, 0xB0, 0x07, 0x7F}));
    const uint8_t sysex[] = {0xF0, 0x00, 0x31, 0x33, 0x01, 0xF7};
    EXPECT_EQ(sent(sysex, sizeof sysex), std::vector<uint8_t>(sysex, sysex + sizeof sysex));

    EXPECT_FALSE(send(no_out, message_t{0x90, 0, 0}));
    service->set_send_refused(a, true);
    const result_t<void> refused = send(make_out(a), message_t{0x90, 0, 0});
    ASSERT_FALSE(refused);
    EXPECT_THAT(refused.failure().text,
                testing::MatchesRegex("common/midi_io/midi_io:[0-9]+: Error: Input/output error\\."));
}

TEST_F(MidiIo, InitIsIdempotentAndDeinitDropsHandlers) {
    const int32_t a = plug("Ventaro", "MIDI 1");
    EXPECT_TRUE(init("Other"));
    ASSERT_TRUE(attach(make_in(a), collect(), {}, {}));
    deinit();
    ASSERT_TRUE(init("VentaroUpdate"));
    from_device(a, {0xC0, 0x01});
    EXPECT_TRUE(messages().empty());
}

// The receive thread parses while the main thread detaches and re-attaches.
TEST_F(MidiIo, AttachAndDetachWhileReceiving) {
    const int32_t a = plug("Ventaro", "MIDI 1");
    std::atomic<int> bad{0}, good{0};
    std::atomic<bool> stop{false};
    std::thread device([&] {
        const uint8_t bytes[] = {0x90, 0x3C, 0x64, 0xF0, 0x01, 0x02, 0xF7};
        while (!stop) service->device_send(a, bytes, sizeof bytes);
    });
    for (int i = 0; i < 2000; ++i) {
        ASSERT_TRUE(attach(
            make_in(a),
            [&](message_t m) {
                (m == message_t{0x90, 0x3C, 0x64} ? good : bad)++;
            },
            [&](const uint8_t*, std::size_t n, bool) { (n == 2 ? good : bad)++; }, {}));
        ASSERT_TRUE(detach(make_in(a)));
    }
    stop = true;
    device.join();
    service->flush();
    EXPECT_EQ(bad, 0);
}

TEST(AlsaService, WithoutASequencerInitSaysWhy) {
    main_queue::attach_current_thread(true);
    set_service(&alsa_service());
    const result_t<void> opened = init("VentaroUpdate");
    if (opened) {
        deinit();
        GTEST_SKIP() << "this machine has an ALSA sequencer";
    }
    EXPECT_NE(opened.failure().code, 0);
    EXPECT_FALSE(opened.failure().text.empty());
    EXPECT_EQ(in_size(), 0u);
    EXPECT_EQ(get_name(make_in(24 << 8)), "");
    set_service(nullptr);
}
