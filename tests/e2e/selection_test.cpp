// One meter chosen by its identification, against the simulated bus.
#include "bus_fixture.h"

#include "meters/search_descent.h"

namespace veltro::test {
namespace {

// Acknowledges every frame sent to the secondary address, the selection and the read included.
class AcknowledgesEverything final : public sim::Device {
public:
    std::string label() const override { return "acknowledges everything at 253"; }
    sim::DeviceResponse hear(const MasterFrame& frame, int) override {
        if (frame.address != kSecondaryAddress) return {};
        return {Telegram{0xE5}, {}};
    }
};

// Hears every frame the master sends and never answers: what the bus heard, as sent.
class HeardFrames final : public sim::Device {
public:
    explicit HeardFrames(std::shared_ptr<std::vector<Telegram>> heard) : m_heard(std::move(heard)) {}
    std::string label() const override { return "recorder"; }
    sim::DeviceResponse hear(const MasterFrame& frame, int) override {
        m_heard->push_back(frame.bytes);
        return {};
    }

private:
    std::shared_ptr<std::vector<Telegram>> m_heard;
};

class Selection : public BusFixture {};

TEST_F(Selection, AMeterSharingAddressZeroIsSelectedReadPlacedByItsIdAndLetGo) {
    auto heard = std::make_shared<std::vector<Telegram>>();
    auto bus = sim::DefaultBus();
    bus->add(std::make_unique<HeardFrames>(heard));
    startBus(std::move(bus), Transport::Serial);
    tableWithAddresses({"1"}, false);
    meters().findId("99000027");
    ASSERT_EQ(meters().busOperation(), BusOperation::SecondarySelection);
    ASSERT_TRUE(waitIdle());
    const QStringList& lines = log();
    const auto at = [&](const QString& prefix) {
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (lines[i].startsWith(prefix)) return i;
        return qsizetype(-1);
    };
    const auto selection = at("Sent: 68 0B 0B 68 53 FD 52 27 00 00 99 FF FF FF FF ");
    const auto acknowledged = lines.indexOf("0xE5 (Acknowledge)");
    const auto respond = at("Respond: 68 ");
    const auto deselect = lines.indexOf("Sent: 10 40 FD 3D 16 ");
    ASSERT_GE(selection, 0) << lines.join('\n').toStdString();
    EXPECT_LT(selection, acknowledged);
    EXPECT_LT(acknowledged, respond);
    EXPECT_LT(respond, deselect);
    EXPECT_EQ(lines.back(), "0xE5 (Acknowledge) 1");
    EXPECT_EQ(meters().table().cell(1, 1), "1");  // the row that was there stays
    EXPECT_EQ(meters().table().cell(2, 0), "99000027");  // the selected meter is appended by its ID
    EXPECT_FALSE(engine->serial().isOpen());
    const std::vector<Telegram> expected{
        Telegram{0x68, 0x0B, 0x0B, 0x68, 0x53, 0xFD, 0x52, 0x27, 0x00, 0x00, 0x99, 0xFF, 0xFF, 0xFF, 0xFF, 0x5E, 0x16},
        Telegram{0x10, 0x7B, 0xFD, 0x78, 0x16}, Telegram{0x10, 0x40, 0xFD, 0x3D, 0x16}};
    EXPECT_EQ(*heard, expected);
}

TEST_F(Selection, SilenceAndBadIdentifications) {
    startBus(sim::DefaultBus());
    meters().findId("12345670");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(count("No response from device 12345670"), 1) << log().join('\n').toStdString();
    EXPECT_FALSE(engine->bridge().isConnected());
    for (const char* bad : {"", "1234567", "123456789", "1234567F", "1234567f", "12 45678"}) {
        const auto lines = log().size();
        meters().findId(bad);
        EXPECT_EQ(meters().busOperation(), BusOperation::None) << bad;
        EXPECT_EQ(log().size(), lines + 1) << bad;
        EXPECT_EQ(log().back(), "Incorrect ID entered") << bad;
    }
}

TEST_F(Selection, ADeviceThatAcknowledgesEverythingIsLetGoAfterOneRead) {
    std::vector<std::unique_ptr<sim::Device>> devices;
    devices.push_back(std::make_unique<AcknowledgesEverything>());
    startBus(BusOf(std::move(devices)));
    meters().findId("11111111");
    ASSERT_TRUE(waitIdle(3000));
    // The selection's and the deselection's acknowledges; the read's ends the reading, not the operation.
    EXPECT_EQ(log().filter("0xE5 (Acknowledge)").size(), 2) << log().join('\n').toStdString();
    EXPECT_EQ(count("Respond: "), 0);
}

} // namespace
} // namespace veltro::test
