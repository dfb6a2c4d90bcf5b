// SPDX-License-Identifier: MIT
// Suspend, shutdown and logout are held off exactly while the engine writes a
// device, and let go however the run ends. Run by session_mocks.py, which puts
// python-dbusmock's logind and a desktop portal on private buses; logind's own
// list of inhibitors tells what is held.
#include "app/session/session_inhibitor.hpp"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>

#include "tests/updater/engine_fixture.hpp"
#include "updater/updater.hpp"

using namespace zal;
using namespace zal::testing;
using devices::fault_t;

namespace {

struct inhibitor_t {
    QString what, who, why, mode;
};

std::vector<inhibitor_t> logind_inhibitors() {
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("ListInhibitors"));
    const QDBusMessage reply = QDBusConnection::systemBus().call(call);
    std::vector<inhibitor_t> found;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        ADD_FAILURE() << "logind: " << reply.errorMessage().toStdString();
        return found;
    }
    const QDBusArgument list = reply.arguments().at(0).value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        inhibitor_t i;
        uint uid = 0, pid = 0;
        list.beginStructure();
        list >> i.what >> i.who >> i.why >> i.mode >> uid >> pid;
        list.endStructure();
        found.push_back(i);
    }
    list.endArray();
    return found;
}

class HoldingOff : public EngineTest {
protected:
    updater::callbacks_t callbacks() override {
        updater::callbacks_t callbacks = EngineTest::callbacks();
        callbacks.device_phases = [this](bool active) { active ? inhibitor.hold() : inhibitor.release(); };
        return callbacks;
    }
    std::size_t held() { return logind_inhibitors().size(); }

    session::SessionInhibitor inhibitor{true};
};

}  // namespace

TEST_F(HoldingOff, OnlyWhileADeviceIsWritten) {
    const update_t package = make_package({});
    ASSERT_TRUE(engine().start(kind_t::any, package));
    run_until([] { return false; }, 2000);
    EXPECT_EQ(held(), 0u) << "nothing is held while no device is there";

    make_device({.kind = kind_t::ventaro, .stage2_images = devices::stage2_images_of(package)}).plug();
    ASSERT_TRUE(
        run_until([this] { return !events.titles.empty() && events.titles.back() == "Rebooting the Ventaro..."; }));
    const auto inhibitors = logind_inhibitors();
    ASSERT_EQ(inhibitors.size(), 1u);
    EXPECT_EQ(inhibitors[0].what, "sleep:shutdown:handle-lid-switch:handle-suspend-key:handle-power-key");
    EXPECT_EQ(inhibitors[0].who, "Ventaro Update");
    EXPECT_EQ(inhibitors[0].why, "Updating the firmware of the Ventaro");
    EXPECT_EQ(inhibitors[0].mode, "block");
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(events.ends[0].end, end_t::success);
    settle(500);
    EXPECT_EQ(held(), 0u) << "let go after success";
}

TEST_F(HoldingOff, LetGoAfterAFailure) {
    const update_t package = make_package({});
    make_device({.kind = kind_t::ventaro, .start_in_bootloader = true, .faults = {{fault_t::type_t::wrong_answer, 0}}})
        .plug();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(events.ends[0].end, end_t::failure);
    settle(500);
    EXPECT_EQ(held(), 0u);
}

// A cancel during programming: the worker goes on until sector 0 is whole, and
// the device is held off until then.
TEST_F(HoldingOff, ACancelledRunLetsGoOnceTheWorkerStopped) {
    const update_t package = make_package({});
    auto& bootloader = make_device({.kind = kind_t::ventaro, .start_in_bootloader = true});
    bootloader.pause_at_roundtrip(5);
    bootloader.plug();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_until([&] { return bootloader.paused(); }));
    EXPECT_EQ(held(), 1u);
    engine().cancel();
    main_queue::run_due();
    EXPECT_EQ(held(), 1u) << "the worker still writes";
    bootloader.resume();
    settle(1000);
    EXPECT_EQ(held(), 0u);
}
