// The simulated M-Bus/Ethernet gateway. Request frames are built here byte by byte from the frame table,
// and replies read here the same way, never through the simulator's codec: a misreading of the layout
// in that codec would otherwise check itself.
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <numeric>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "sim/default_bus.h"
#include "sim/gateway.h"
#include "sim/gateway_settings.h"
#include "sim/options.h"
#include "sim_test_support.h"

namespace veltro::sim {
namespace {

using namespace std::chrono_literals;
using test::RunFor;
using test::RunUntil;
using test::Valid;
using Frame = std::vector<std::uint8_t>;
using Network = std::array<std::uint8_t, 4>;

constexpr Network kOwnNetwork{0, 0, 0, 1};

std::uint8_t SumOf(const Frame& f, std::size_t from, std::size_t to) {  // bytes from..to, both included
    return static_cast<std::uint8_t>(std::accumulate(f.begin() + static_cast<std::ptrdiff_t>(from),
                                                     f.begin() + static_cast<std::ptrdiff_t>(to) + 1, 0u));
}

// The request frame of the table: header 0-11, block from 12, zeros, frame sum at 298, stop at 299.
Frame Request(const Telegram& telegram, std::uint8_t blockType = 0xA1, Network network = kOwnNetwork,
              std::uint16_t sequence = 2) {
    const std::size_t n = telegram.size();
    Frame f(300, 0x00);
    f[0] = 0x01;
    std::copy(network.begin(), network.end(), f.begin() + 1);
    f[6] = static_cast<std::uint8_t>(sequence >> 8);
    f[7] = static_cast<std::uint8_t>(sequence);
    f[9] = 0x01;
    f[10] = SumOf(f, 0, 9);
    f[11] = 0x04;
    f[12] = blockType;
    f[13] = static_cast<std::uint8_t>((n + 2) % 256);
    f[14] = blockType == 0xA8 ? 0x10 : 0x00;
    std::copy(telegram.begin(), telegram.end(), f.begin() + 16);
    f[16 + n] = SumOf(f, 13, 15 + n);
    f[17 + n] = 0xAA;
    f[298] = SumOf(f, 0, 297);
    f[299] = 0x04;
    return f;
}

void ResumFrame(Frame& f) { f[298] = SumOf(f, 0, 297); }

// The builder above against the worked example of our documents, so the tests' own layout is pinned.
TEST(GatewayTestFrames, RequestMatchesTheWorkedExample) {
    const Frame f = Request(test::Bytes("10 5B 01 5C 16"));
    EXPECT_EQ(Telegram(std::span(f).first(24)),
              test::Bytes("01 00 00 00 01 00 00 02 00 01 05 04 A1 07 00 00 10 5B 01 5C 16 E5 AA 00"));
    EXPECT_TRUE(std::all_of(f.begin() + 24, f.begin() + 298, [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(f[298], 0x23);
    EXPECT_EQ(f[299], 0x04);
}

// A reply as the reply table reads it; `problem` says what breaks the frame checks.
struct Reply {
    std::string problem;
    Network network{};
    bool statusOnly = false;
    Telegram data;
    std::uint8_t result = 0xFF, mask1 = 0xFF, mask2 = 0xFF;
};

Reply ReadReply(const QByteArray& bytes) {
    Reply r;
    const Frame f(bytes.begin(), bytes.end());
    if (f.size() != 300) {
        r.problem = "size " + std::to_string(f.size());
        return r;
    }
    if (f[0] != 0x01) r.problem += "start byte; ";
    if (SumOf(f, 0, 18) != f[19]) r.problem += "header sum; ";
    if (SumOf(f, 0, 297) != f[298]) r.problem += "frame sum; ";
    if (f[299] != 0x04) r.problem += "stop byte; ";
    std::copy(f.begin() + 1, f.begin() + 5, r.network.begin());
    r.statusOnly = f[21] == 0xA5;
    std::size_t statusAt = 24;
    if (!r.statusOnly) {
        const std::size_t d = f[22] < 4 ? f[22] + 256u : f[22];
        r.data = Telegram(std::span(f).subspan(25, d - 4));
        statusAt = d + 28;
    }
    r.result = f[statusAt];
    r.mask2 = f[statusAt + 1];
    r.mask1 = f[statusAt + 2];
    return r;
}

// The program's side of a gateway connection, on the test's thread.
class GatewayClient {
public:
    // `socket`: one accepted by the test's own server, which owns it; this client only reads it.
    explicit GatewayClient(QTcpSocket* socket = nullptr) : m_socket(socket ? socket : &m_own) {
        QObject::connect(m_socket, &QTcpSocket::readyRead, &m_own, [this] {
            m_received += m_socket->readAll();
            ++m_reads;
        });
        if (socket) m_received += m_socket->readAll();  // what came before this client was there
    }

    bool connectTo(quint16 port) {
        m_socket->connectToHost(QHostAddress::LocalHost, port);
        return RunUntil([this] { return m_socket->state() == QAbstractSocket::ConnectedState; }, 2000ms);
    }

    void write(const Frame& bytes) {
        m_socket->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        m_socket->flush();
    }

    // The next whole 300-byte frame, or what came of it within `window`.
    QByteArray next(std::chrono::milliseconds window = 2000ms) {
        RunUntil([this] { return m_received.size() >= 300; }, window);
        const QByteArray frame = m_received.left(300);
        m_received.remove(0, frame.size());
        return frame;
    }

    Reply exchange(const Frame& request, std::chrono::milliseconds window = 2000ms) {
        write(request);
        return ReadReply(next(window));
    }

    const QByteArray& pending() const { return m_received; }
    int reads() const { return m_reads; }
    QTcpSocket& socket() { return *m_socket; }

private:
    QTcpSocket m_own;
    QTcpSocket* m_socket;
    QByteArray m_received;
    int m_reads = 0;
};

LineTiming Quick(std::chrono::milliseconds delay = 5ms) {
    LineTiming t;
    t.answerDelay = delay;
    return t;
}

class Gateway : public ::testing::Test {
protected:
    // Starts the gateway and connects to it; the greeting is left unread.
    void start(GatewayPacing pacing = {}, LineTiming timing = Quick()) {
        m_server = std::make_unique<GatewayServer>(*m_bus, m_settings, timing, 2400, pacing);
        ASSERT_TRUE(m_server->listen()) << m_server->errorString().toStdString();
        ASSERT_TRUE(m_client.connectTo(m_server->port()));
    }

    // Starts and reads the greeting.
    void startGreeted(GatewayPacing pacing = {}, LineTiming timing = Quick()) {
        ASSERT_NO_FATAL_FAILURE(start(pacing, timing));
        const Reply greeting = ReadReply(m_client.next());
        ASSERT_EQ(greeting.problem, "");
        ASSERT_TRUE(greeting.statusOnly);
    }

    std::unique_ptr<Bus> m_bus = DefaultBus();
    GatewaySettings m_settings{kOwnNetwork, true};
    std::unique_ptr<GatewayServer> m_server;
    GatewayClient m_client;
};

// A display's text answer comes back as the data of the reply; its silence as "timeout expired".
TEST_F(Gateway, DisplayBehindItAnswersInTheDataReply) {
    ASSERT_NO_FATAL_FAILURE(startGreeted());
    const Reply reply = m_client.exchange(Request(test::TextBytes("GET ADDR")));
    ASSERT_EQ(reply.problem, "");
    EXPECT_FALSE(reply.statusOnly);
    EXPECT_EQ(reply.data, test::TextBytes("Active devices: 1-3,15\r\n"));
    const Reply silent = m_client.exchange(Request(test::TextBytes("GET KEYS")));
    EXPECT_TRUE(silent.statusOnly);
    EXPECT_EQ(silent.mask2, gateway::kTimeoutExpired);
}

// --- Requests and their replies ---

struct RequestCase {
    const char* name;
    Telegram telegram;
    std::uint8_t blockType = 0xA1;
    Network network = kOwnNetwork;
    std::function<void(Frame&)> spoil;  // applied to the good frame; nothing: sent as built
    // A data reply with the default bus's answer to the telegram, or a status reply with these masks.
    bool data = true;
    std::uint8_t mask1 = 0;
    std::uint8_t mask2 = 0;
};

class GatewayRequests : public Gateway, public ::testing::WithParamInterface<RequestCase> {};

TEST_P(GatewayRequests, AreAnsweredOrRefused) {
    const auto& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(startGreeted());
    Frame request = Request(c.telegram, c.blockType, c.network);
    if (c.spoil) c.spoil(request);
    const Reply reply = m_client.exchange(request);
    ASSERT_EQ(reply.problem, "");
    EXPECT_EQ(reply.network, kOwnNetwork);
    if (c.data) {
        auto oracle = DefaultBus();
        const Telegram expected = test::Send(*oracle, c.telegram);
        ASSERT_FALSE(expected.empty()) << "the row needs a telegram that is answered";
        EXPECT_FALSE(reply.statusOnly);
        EXPECT_EQ(reply.data, expected) << HexRendering(reply.data);
        EXPECT_EQ(reply.result, 0);
    } else {
        EXPECT_TRUE(reply.statusOnly);
        EXPECT_NE(reply.result, 0);
        EXPECT_EQ(reply.mask1, c.mask1);
        EXPECT_EQ(reply.mask2, c.mask2);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sim, GatewayRequests,
    ::testing::Values(
        RequestCase{"ReqUd2ToMeter1BringsItsRspUd", BuildReqUd2(1), 0xA1, kOwnNetwork, nullptr},
        RequestCase{"SndNkeInAnA8BlockBringsE5Alone", BuildSndNke(1), 0xA8, kOwnNetwork, nullptr},
        RequestCase{"HeaderChecksumWrong", BuildReqUd2(1), 0xA1, kOwnNetwork,
                    [](Frame& f) {
                        ++f[10];
                        ResumFrame(f);
                    },
                    false, 0x01},
        RequestCase{"FrameChecksumWrong", BuildReqUd2(1), 0xA1, kOwnNetwork, [](Frame& f) { ++f[298]; }, false, 0x02},
        RequestCase{"BlockChecksumWrong", BuildReqUd2(1), 0xA1, kOwnNetwork,
                    [](Frame& f) {
                        ++f[21];
                        ResumFrame(f);
                    },
                    false, 0x02},
        RequestCase{"BlockLengthOneTooMany", BuildReqUd2(1), 0xA1, kOwnNetwork,
                    [](Frame& f) {
                        ++f[13];
                        ResumFrame(f);
                    },
                    false, 0x04},
        RequestCase{"StartByteNot01", BuildReqUd2(1), 0xA1, kOwnNetwork,
                    [](Frame& f) {
                        f[0] = 0x02;
                        f[10] = SumOf(f, 0, 9);
                        ResumFrame(f);
                    },
                    false, 0x08},
        RequestCase{"BlockTypeA3Unknown", BuildReqUd2(1), 0xA1, kOwnNetwork,
                    [](Frame& f) {
                        f[12] = 0xA3;
                        ResumFrame(f);
                    },
                    false, 0x20},
        RequestCase{"StopByteNot04", BuildReqUd2(1), 0xA1, kOwnNetwork, [](Frame& f) { f[299] = 0x16; }, false, 0x40},
        RequestCase{"NetworkNumberOfAnotherGateway", BuildReqUd2(1), 0xA1, {0, 0, 0, 2}, nullptr, false, 0x80},
        RequestCase{"NobodyAtAddress5", BuildReqUd2(5), 0xA1, kOwnNetwork, nullptr, false, 0x00, 0x02}),
    [](const auto& row) { return row.param.name; });

TEST_F(Gateway, GreetsFirstWithItsNetworkNumberAndNothingElse) {
    m_settings = GatewaySettings({10, 0, 0, 7}, true);
    ASSERT_NO_FATAL_FAILURE(start());
    const Reply greeting = ReadReply(m_client.next());
    EXPECT_EQ(greeting.problem, "");
    EXPECT_TRUE(greeting.statusOnly);
    EXPECT_EQ(greeting.result, 0);
    EXPECT_EQ(greeting.network, (Network{10, 0, 0, 7}));
    RunFor(100ms);
    EXPECT_TRUE(m_client.pending().isEmpty()) << "only the greeting before a request";
}

// The meter's answer is padded with manufacturer-specific bytes to the length of each row.
struct LongAnswerCase {
    const char* name;
    std::size_t answerLength;
    int lengthByte;  // byte 22; -1: no data reply fits, a status reply says "bad packet"
};

class GatewayLongAnswers : public Gateway, public ::testing::WithParamInterface<LongAnswerCase> {};

TEST_P(GatewayLongAnswers, UseLengthBytes0To3For256To259) {
    const auto& c = GetParam();
    // SimpleMeter's frame without manufacturer data: 68 L L 68, C A CI, 12 header bytes, 04 13 and four
    // data bytes, CS 16 = 27 bytes; DIF 0Fh adds one more.
    const auto meter = [&] {
        MeterState m = test::SimpleMeter(7, "00000007");
        const std::vector<std::uint8_t> padding(c.answerLength - 28, 0x5A);
        m.telegrams.front().records.push_back(DataRecord::ManufacturerSpecific(padding, false));
        return m;
    };
    auto oracle = test::BusOf({meter()});
    const Telegram expected = test::Send(*oracle, BuildReqUd2(7));
    ASSERT_EQ(expected.size(), c.answerLength);

    m_bus = test::BusOf({meter()});
    ASSERT_NO_FATAL_FAILURE(startGreeted());
    const Frame request = Request(BuildReqUd2(7));
    const QByteArray raw = [&] {
        m_client.write(request);
        return m_client.next();
    }();
    const Reply reply = ReadReply(raw);
    ASSERT_EQ(reply.problem, "");
    if (c.lengthByte < 0) {
        EXPECT_TRUE(reply.statusOnly);
        EXPECT_EQ(reply.mask2, 0x80);
        EXPECT_NE(reply.result, 0);
        return;
    }
    EXPECT_EQ(static_cast<std::uint8_t>(raw[22]), c.lengthByte);
    EXPECT_EQ(reply.data, expected);
    EXPECT_EQ(reply.result, 0);
}

INSTANTIATE_TEST_SUITE_P(Sim, GatewayLongAnswers,
                         ::testing::Values(LongAnswerCase{"Answer251IsD255", 251, 255},
                                           LongAnswerCase{"Answer252IsD0", 252, 0},
                                           LongAnswerCase{"Answer253IsD1", 253, 1},
                                           LongAnswerCase{"Answer255IsD3", 255, 3},
                                           LongAnswerCase{"Answer256DoesNotFit", 256, -1}),
                         [](const auto& row) { return row.param.name; });

TEST_F(Gateway, RequestInPiecesIsOneRequestAndAShortOneIsRefusedAfterAPause) {
    ASSERT_NO_FATAL_FAILURE(startGreeted());
    const Frame request = Request(BuildReqUd2(2));
    m_client.write(Frame(request.begin(), request.begin() + 120));
    RunFor(50ms);
    const Reply whole = m_client.exchange(Frame(request.begin() + 120, request.end()));
    EXPECT_EQ(whole.problem, "");
    EXPECT_TRUE(Valid(whole.data)) << HexRendering(whole.data);

    m_client.write(Frame(request.begin(), request.end() - 1));
    const Reply cut = ReadReply(m_client.next(GatewayChannel::kRequestGap + 1000ms));
    EXPECT_EQ(cut.problem, "");
    EXPECT_TRUE(cut.statusOnly);
    EXPECT_EQ(cut.mask1, 0x04);
    EXPECT_TRUE(Valid(m_client.exchange(request).data)) << "the next whole frame is served";
}

TEST_F(Gateway, ChunkedRepliesCarryTheSameBytes) {
    const auto run = [](int chunk, int& reads) {
        auto bus = DefaultBus();
        GatewaySettings settings(kOwnNetwork, true);
        GatewayServer server(*bus, settings, Quick(), 2400, GatewayPacing{0ms, chunk});
        GatewayClient client;
        if (!server.listen() || !client.connectTo(server.port())) return QByteArray("no connection");
        QByteArray all = client.next();
        client.write(Request(BuildReqUd2(1)));
        all += client.next();
        client.write(Request(BuildReqUd2(5)));
        all += client.next();
        reads = client.reads();
        return all;
    };
    int wholeReads = 0, chunkReads = 0;
    const QByteArray whole = run(0, wholeReads);
    const QByteArray chunked = run(64, chunkReads);
    ASSERT_EQ(whole.size(), 900);
    EXPECT_EQ(chunked, whole);
    EXPECT_GT(chunkReads, wholeReads) << "64-byte pieces 20 ms apart arrive as reads of their own";
}

TEST_F(Gateway, DelayHoldsEveryReply) {
    QElapsedTimer clock;
    clock.start();
    ASSERT_NO_FATAL_FAILURE(start(GatewayPacing{250ms}));
    ASSERT_EQ(ReadReply(m_client.next()).problem, "");
    EXPECT_GE(clock.elapsed(), 250);
    clock.restart();
    EXPECT_TRUE(Valid(m_client.exchange(Request(BuildReqUd2(3))).data));
    EXPECT_GE(clock.elapsed(), 250);
}

// --- The settings the RS-232 port changes act on the TCP side at once ---

TEST_F(Gateway, NetworkNumberAndMbusTimeoutFromTheSettingsApplyAtOnce) {
    // Meters that answer after 450 ms: too late for the 0.3 s default, in time for 0.5 s.
    ASSERT_NO_FATAL_FAILURE(startGreeted({}, Quick(450ms)));
    const Reply late = m_client.exchange(Request(BuildReqUd2(1)));
    EXPECT_EQ(late.mask2, 0x02);
    ASSERT_EQ(m_settings.answer("SET NETO=05"), "OK\r\n");
    EXPECT_TRUE(Valid(m_client.exchange(Request(BuildReqUd2(1))).data));

    ASSERT_EQ(m_settings.answer("SET NETN=10.0.0.9"), "OK\r\n");
    const Reply old = m_client.exchange(Request(BuildReqUd2(1)));
    EXPECT_EQ(old.mask1, 0x80);
    EXPECT_EQ(old.network, (Network{10, 0, 0, 9})) << "the refusal tells the new number";
    EXPECT_TRUE(Valid(m_client.exchange(Request(BuildReqUd2(1), 0xA1, {10, 0, 0, 9})).data));
}

// One dialogue, row after row, on one gateway's settings.
struct DialogueRow {
    const char* command;
    const char* answer;
};

TEST(GatewaySettingsDialogue, StoresCheckedValuesAndShowsThem) {
    GatewaySettings settings({0, 0, 0, 1}, false);
    const DialogueRow rows[] = {
        {"GET NETN", "NETN=0.0.0.1\r\n"},
        {"GET SERV", "NETO=03\r\nRETN=01\r\nRETI=01\r\nPITO=01\r\nDUED=01/00/00\r\n"},
        {"SET NETO=25", "OK\r\n"},
        {"SET NETO=26", "ERROR\r\n"},  // 2.5 s at most
        {"SET NETO=02", "ERROR\r\n"},
        {"GET NETO", "NETO=25\r\n"},
        {"SET IPV4=192.168.001.010", "OK\r\n"},  // kept as typed
        {"SET IPV4=192.168.1.300", "ERROR\r\n"},
        {"SET NETN=1.2.3", "ERROR\r\n"},
        {"SET NETN=1.2.3.4\r\n", "OK\r\n"},  // a line end is no part of the value
        {"GET IPV4", "IPV4=192.168.001.010\r\n"},
        {"SET DUED=01/00/05", "OK\r\n"},
        {"SET DUED=32/00/05", "ERROR\r\n"},
        {"SET COM2=4,2", "OK\r\n"},
        {"SET COM2=7,2", "ERROR\r\n"},
        {"SET DATE=05,03,26", "OK\r\n"},
        {"SET TIME=24,00", "ERROR\r\n"},
        {"SET PINC=123", "ERROR\r\n"},
        {"SET USER=0", "OK\r\n"},
        {"SET USER=\"meter reader\"", "OK\r\n"},
        {"SET PASS=secret", "ERROR\r\n"},  // not quoted
        {"SET APNM=0", "ERROR\r\n"},       // no "0 = delete" for the APN
        {"SET IPO3=10.1.1.3", "OK\r\n"},
        {"GET OPER", "IPO1=0.0.0.0\r\nIPO2=0.0.0.0\r\nIPO3=10.1.1.3\r\nIPO4=0.0.0.0\r\n"},
        {"SET SERV=1", "OK\r\n"},
        {"SET TEST", "OK\r\n"},
        {"GET STAT", "LINK=WAITING\r\n"},
        {"SET XXXX=1", "ERROR\r\n"},
        {"SET NETO", "ERROR\r\n"},
        {"GET XXXX", "ERROR\r\n"},
        {"HELLO", "ERROR\r\n"},
    };
    for (const auto& row : rows) EXPECT_EQ(settings.answer(row.command), row.answer) << row.command;
    EXPECT_EQ(settings.network(), (Network{1, 2, 3, 4}));
    EXPECT_EQ(settings.mbusTimeout(), 2500ms);
}

// --- mbus-sim as a user runs it ---

struct GatewayOptionsCase {
    const char* name;
    std::vector<std::string> arguments;
    std::function<void(const SimulatorOptions&)> check;  // nothing: refused
    const char* error = "";
};

class GatewayCommandLine : public ::testing::TestWithParam<GatewayOptionsCase> {};

TEST_P(GatewayCommandLine, IsReadOrRefused) {
    const auto& c = GetParam();
    const auto parsed = ParseSimulatorOptions(c.arguments);
    if (c.check) {
        ASSERT_TRUE(parsed.options) << parsed.error;
        c.check(*parsed.options);
    } else {
        EXPECT_FALSE(parsed.options);
        EXPECT_NE(parsed.error.find(c.error), std::string::npos) << parsed.error;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sim, GatewayCommandLine,
    ::testing::Values(
        GatewayOptionsCase{"Defaults", {"--gateway", "127.0.0.1:0"},
                           [](const SimulatorOptions& o) {
                               EXPECT_TRUE(o.gateway);
                               EXPECT_FALSE(o.gatewayConnect);
                               EXPECT_EQ(o.network, (Network{0, 0, 0, 1}));
                               EXPECT_EQ(o.gatewayDelayMs, 0);
                               EXPECT_EQ(o.gatewayChunk, 0);
                               EXPECT_FALSE(o.gatewayPty);
                           }},
        GatewayOptionsCase{"Everything",
                           {"--gateway-connect=localhost:59615", "--network", "10.0.0.7", "--gateway-delay=1500",
                            "--gateway-chunk", "300", "--gateway-pty", "/tmp/ttyGW"},
                           [](const SimulatorOptions& o) {
                               EXPECT_TRUE(o.gatewayConnect);
                               EXPECT_EQ(o.gatewayHost, "localhost");
                               EXPECT_EQ(o.gatewayPort, 59615);
                               EXPECT_EQ(o.network, (Network{10, 0, 0, 7}));
                               EXPECT_EQ(o.gatewayDelayMs, 1500);
                               EXPECT_EQ(o.gatewayChunk, 300);
                               EXPECT_EQ(o.gatewayPtyLink, "/tmp/ttyGW");
                           }},
        GatewayOptionsCase{"NetworkWithThreeParts", {"--gateway", "127.0.0.1:0", "--network", "10.0.7"}, nullptr,
                           "--network: \"10.0.7\""},
        GatewayOptionsCase{"NetworkPartAbove255", {"--gateway", "127.0.0.1:0", "--network", "10.0.0.256"}, nullptr,
                           "--network"},
        GatewayOptionsCase{"ChunkZero", {"--gateway", "127.0.0.1:0", "--gateway-chunk", "0"}, nullptr, "1..300 bytes"},
        GatewayOptionsCase{"DelayTooLong", {"--gateway", "127.0.0.1:0", "--gateway-delay", "60001"}, nullptr,
                           "0..60000"},
        GatewayOptionsCase{"NetworkWithoutAGateway", {"--pty", "--network", "0.0.0.2"}, nullptr,
                           "--network needs --gateway or --gateway-connect"},
        GatewayOptionsCase{"ListeningAndCalling", {"--gateway", "127.0.0.1:0", "--gateway-connect", "127.0.0.1:1"},
                           nullptr, "exclude each other"},
        GatewayOptionsCase{"GatewayWithoutPort", {"--gateway", "127.0.0.1"}, nullptr, "--gateway wants HOST:PORT"}),
    [](const auto& row) { return row.param.name; });

class Simulator {
public:
    explicit Simulator(QStringList arguments) { m_process.start(VELTRO_MBUS_SIM_PATH, arguments); }
    ~Simulator() {
        m_process.kill();
        m_process.waitForFinished(2000);
    }

    QString readLine() {
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(5000)) return {};
        return QString::fromLocal8Bit(m_process.readLine()).chopped(1);
    }

private:
    QProcess m_process;
};

TEST(GatewayProgram, ListensGreetsWithItsNetworkNumberAndServesTheBus) {
    Simulator sim({"--gateway", "127.0.0.1:0", "--network", "10.0.0.7", "--latency", "0"});
    const QString line = sim.readLine();
    const auto match = QRegularExpression("^gateway 127\\.0\\.0\\.1:(\\d+)$").match(line);
    ASSERT_TRUE(match.hasMatch()) << line.toStdString();
    GatewayClient client;
    ASSERT_TRUE(client.connectTo(static_cast<quint16>(match.captured(1).toUInt())));
    const Reply greeting = ReadReply(client.next());
    EXPECT_EQ(greeting.problem, "");
    EXPECT_EQ(greeting.network, (Network{10, 0, 0, 7}));
    const Reply reply = client.exchange(Request(BuildReqUd2(2), 0xA1, {10, 0, 0, 7}));
    EXPECT_EQ(test::IdOfFrame(reply.data), "51200417");
}

TEST(GatewayProgram, CallsTheProgramUntilItAnswersAndAgainAfterADrop) {
    // A port nobody listens on yet: the gateway keeps trying.
    QTcpServer program;
    ASSERT_TRUE(program.listen(QHostAddress::LocalHost, 0));
    const quint16 port = program.serverPort();
    program.close();
    Simulator sim({"--gateway-connect", QStringLiteral("127.0.0.1:%1").arg(port), "--latency", "0"});
    EXPECT_EQ(sim.readLine(), QStringLiteral("gateway-connect 127.0.0.1:%1").arg(port));
    RunFor(1200ms);
    ASSERT_TRUE(program.listen(QHostAddress::LocalHost, port));
    for (int connection = 0; connection < 2; ++connection) {
        ASSERT_TRUE(RunUntil([&] { return program.hasPendingConnections(); }, 3000ms)) << connection;
        GatewayClient client(program.nextPendingConnection());
        const Reply greeting = ReadReply(client.next());
        EXPECT_EQ(greeting.problem, "") << connection;
        EXPECT_TRUE(greeting.statusOnly) << connection;
        EXPECT_EQ(greeting.network, kOwnNetwork);
        EXPECT_TRUE(Valid(client.exchange(Request(BuildReqUd2(4))).data)) << connection;
        client.socket().disconnectFromHost();
        RunUntil([&] { return client.socket().state() == QAbstractSocket::UnconnectedState; }, 1000ms);
    }
}

// The settings port as a terminal program would use it: plain POSIX, raw mode.
class Terminal {
public:
    ~Terminal() {
        if (m_fd >= 0) ::close(m_fd);
    }

    ::testing::AssertionResult open(const QString& path) {
        m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        if (m_fd < 0 || ::tcgetattr(m_fd, &tio) != 0) return ::testing::AssertionFailure() << path.toStdString() << ": " << std::strerror(errno);
        ::cfmakeraw(&tio);
        if (::tcsetattr(m_fd, TCSANOW, &tio) != 0) return ::testing::AssertionFailure() << "termios: " << std::strerror(errno);
        return ::testing::AssertionSuccess();
    }

    // Writes a command without terminator and returns the answer once a line of it has ended.
    std::string ask(const std::string& command) {
        if (::write(m_fd, command.data(), command.size()) != static_cast<ssize_t>(command.size())) return "write failed";
        std::string answer;
        RunUntil(
            [&] {
                char buffer[256];
                for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) > 0;) answer.append(buffer, static_cast<std::size_t>(n));
                return answer.ends_with("\r\n");
            },
            2000ms);
        return answer;
    }

private:
    int m_fd = -1;
};

TEST(GatewayProgram, SettingsPortDialogueChangesTheNetworkNumberOfTheTcpSide) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath("ttyGW");
    Simulator sim({"--gateway", "127.0.0.1:0", "--gateway-pty", link, "--latency", "0"});
    const auto match = QRegularExpression("^gateway 127\\.0\\.0\\.1:(\\d+)$").match(sim.readLine());
    ASSERT_TRUE(match.hasMatch());
    const QString ptyLine = sim.readLine();
    ASSERT_TRUE(ptyLine.startsWith("gateway-pty /dev/pts/")) << ptyLine.toStdString();
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), ptyLine.mid(12));

    Terminal terminal;
    ASSERT_TRUE(terminal.open(link));
    EXPECT_EQ(terminal.ask("GET NETN"), "NETN=0.0.0.1\r\n");
    EXPECT_EQ(terminal.ask("SET NETN=10.0.0.9"), "OK\r\n");
    EXPECT_EQ(terminal.ask("SET NETN=10.0.0"), "ERROR\r\n");
    EXPECT_EQ(terminal.ask("GET NETN"), "NETN=10.0.0.9\r\n");
    EXPECT_EQ(terminal.ask("GET STAT"), "LINK=WAITING\r\n");

    GatewayClient client;
    ASSERT_TRUE(client.connectTo(static_cast<quint16>(match.captured(1).toUInt())));
    EXPECT_EQ(ReadReply(client.next()).network, (Network{10, 0, 0, 9}));
    EXPECT_EQ(terminal.ask("GET STAT"), "LINK=CONNECTED\r\n");
}

} // namespace
} // namespace veltro::sim
