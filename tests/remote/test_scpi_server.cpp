// The remote-control server on the loopback against a stand-in station:
// real sockets, and the abuse a network brings: an overlong message, bytes
// that are no text, a client that never reads, more clients than allowed,
// a client gone mid-exchange.
#include <gtest/gtest.h>

#include <QTcpSocket>
#include <memory>

#include "remote/scpi_server.h"
#include "tests/gui_helpers.h"
#include "tests/scpi_station_stub.h"

namespace zx840 {
namespace {

using testing::WaitUntil;

class ScpiServerTest : public ::testing::Test {
  protected:
    void Start(int maxClients = 32, qint64 maxUnread = 4 * 1024 * 1024) {
        ScpiServerOptions options;
        options.port = 0;  // any free port
        options.maxClients = maxClients;
        options.maxUnread = maxUnread;
        std::string error;
        ASSERT_TRUE(server_.Listen(options, &error)) << error;
    }
    std::unique_ptr<QTcpSocket> Connect() {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, server_.Port());
        EXPECT_TRUE(
            WaitUntil([&] { return socket->state() == QAbstractSocket::ConnectedState; }, 30000));
        return socket;
    }
    // Sends `message` and waits for one answer line.
    static std::string Ask(QTcpSocket& socket, const QByteArray& message) {
        socket.write(message);
        if (!WaitUntil([&] { return socket.canReadLine(); }, 30000)) {
            return "(no answer)";
        }
        return socket.readLine().toStdString();
    }

    testing::StubStation station_;
    ScpiServer server_{station_};
};

TEST_F(ScpiServerTest, AnswersAndStaysUsableWhateverAClientSends) {
    Start();
    auto client = Connect();
    EXPECT_EQ(Ask(*client, "*IDN?\r\n"), "Maker,ZX840,0,1.05\n");
    // Two messages in one packet, answered in order.
    client->write("MARK:NUMB 7\nMARK:NUMB?\n*OPC?\n");
    ASSERT_TRUE(WaitUntil([&] { return client->bytesAvailable() >= 4; }, 30000));
    EXPECT_EQ(client->readAll().toStdString(), "7\n1\n");
    // Too long, NULs, bytes that are no UTF-8: errors, and the line goes on.
    client->write(QByteArray(70000, 'A') + "\n");
    client->write(QByteArray("MARK:TYPE \"\xff\xfe\"\n"));
    client->write(QByteArray("*IDN\0?\n", 7));
    EXPECT_EQ(Ask(*client, "SYST:ERR?;ERR?;ERR?;ERR?\n"),
              "-223,\"Too much data;a message holds at most 65536 bytes\";"
              "-151,\"Invalid string data;UTF-8 text without control characters\";"
              "-102,\"Syntax error;a space separates the header from its parameters\";"
              "0,\"No error\"\n");
    EXPECT_EQ(Ask(*client, "*IDN?\n"), "Maker,ZX840,0,1.05\n");
    EXPECT_EQ(server_.Clients(), 1);
}

TEST_F(ScpiServerTest, LimitsClientsAndDropsOnesThatNeverReadOrGo) {
    Start(2, 64 * 1024);
    auto first = Connect();
    auto second = Connect();
    ASSERT_TRUE(WaitUntil([&] { return server_.Clients() == 2; }, 30000));
    // A third is refused: closed at once, the others served.
    QTcpSocket third;
    third.connectToHost(QHostAddress::LocalHost, server_.Port());
    EXPECT_TRUE(
        WaitUntil([&] { return third.state() == QAbstractSocket::UnconnectedState; }, 30000));
    EXPECT_EQ(Ask(*second, "*IDN?\n"), "Maker,ZX840,0,1.05\n");

    // Gone mid-exchange: the exchange ends for the station alone.
    first->write("READ:VOLT?\n");
    ASSERT_TRUE(WaitUntil([&] { return station_.waiting.size() == 1; }, 30000));
    first->abort();
    ASSERT_TRUE(WaitUntil([&] { return server_.Clients() == 1; }, 30000));
    scpi::Measurement measured;
    measured.ok = true;
    measured.working.Record.Urms = 229.5f;
    station_.Answer(measured);

    // One that asks and asks and never reads its answers is dropped.
    station_.immediate = measured;
    auto greedy = Connect();
    ASSERT_TRUE(WaitUntil([&] { return server_.Clients() == 2; }, 30000));
    QByteArray asks;
    for (int i = 0; i < 4000; ++i) {
        asks += "MEAS:ARR:VOLT:HARM?;:MEAS:ARR:CURR?\n";
    }
    greedy->write(asks);
    EXPECT_TRUE(WaitUntil([&] { return server_.Clients() == 1; }, 60000));
    EXPECT_EQ(Ask(*second, "MEAS:VOLT?\n"), "229.5\n");
}

TEST(ScpiServerAddresses, ListenAndAllowAreReadStrictly) {
    QHostAddress address;
    quint16 port = 0;
    std::string error;
    EXPECT_TRUE(ParseListenAddress("127.0.0.1:5026", &address, &port, &error));
    EXPECT_EQ(address, QHostAddress::LocalHost);
    EXPECT_EQ(port, 5026);
    EXPECT_TRUE(ParseListenAddress("[::1]:6000", &address, &port, &error));
    EXPECT_EQ(address, QHostAddress::LocalHostIPv6);
    EXPECT_EQ(port, 6000);
    EXPECT_TRUE(ParseListenAddress("0.0.0.0", &address, &port, &error));
    EXPECT_EQ(port, kScpiPort);
    EXPECT_TRUE(ParseListenAddress("127.0.0.1:0", &address, &port, &error));  // any free port
    EXPECT_EQ(port, 0);
    for (const char* bad : {"127.0.0.1:70000", "host:5025", "", "1.2.3.4:x"}) {
        EXPECT_FALSE(ParseListenAddress(bad, &address, &port, &error)) << bad;
    }
    std::vector<QPair<QHostAddress, int>> allow;
    EXPECT_TRUE(ParseAllowList("10.0.0.0/8, 192.168.1.7,fd00::/8", allow, &error));
    ASSERT_EQ(allow.size(), 3u);
    EXPECT_EQ(allow[1].second, 32);
    EXPECT_FALSE(ParseAllowList("10.0.0.0/40", allow, &error));
    EXPECT_FALSE(ParseAllowList("everyone", allow, &error));

    // Anywhere but the loopback needs an allow-list.
    testing::StubStation station;
    ScpiServer server(station);
    ScpiServerOptions options;
    options.address = QHostAddress::AnyIPv4;
    options.port = 0;
    EXPECT_FALSE(server.Listen(options, &error));
    EXPECT_NE(error.find("--allow"), std::string::npos) << error;
}

}  // namespace
}  // namespace zx840
