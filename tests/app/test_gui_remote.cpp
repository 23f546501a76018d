// The window under remote control: a client on the network sets the
// product information and measures; the measurement lands on the panel and
// in the store as an F3 would, an F3 asked meanwhile waits its turn, and
// the status bar says "Remote" while the client is there.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QTcpSocket>
#include <QTemporaryDir>
#include <vector>

#include "app/remote_controller.h"
#include "app/store_controller.h"
#include "app/zx840_app.h"
#include "meter/sim/meter_simulator.h"
#include "record/record_json.h"
#include "session/meter_session.h"
#include "store/results_store.h"
#include "tests/gui_helpers.h"
#include "tests/gui_meter.h"
#include "view/zx840_view.h"

namespace zx840 {
namespace {

using testing::WaitUntil;

TEST(RemoteWindow, ARemoteMeasurementLandsOnThePanelAndInTheStoreWhileF3Waits) {
    SimulatorOptions options;
    options.load.kind = LoadKind::Rectifier;
    options.paced = true;  // an exchange long enough to ask F3 during it
    const auto sim = testing::StartMeterFor("ZX840_COM1", options);
    ASSERT_TRUE(sim);
    QTemporaryDir settings;
    CZX840ENApp app(settings.path());
    ASSERT_TRUE(app.InitInstance({}));
    RemoteController* remote = app.Remote();
    EXPECT_FALSE(remote->Choice().on);  // off until asked for
    ASSERT_TRUE(remote->SetChoice({true, "127.0.0.1:0", ""}));
    const ProductMark atStart = app.View()->Mark();
    MeterSession& session = *app.Session();
    std::vector<MeasureOrigin> origins;
    QObject::connect(&session, &MeterSession::measured,
                     [&origins](const SessionMeasurement& m) { origins.push_back(m.origin); });

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, remote->Server().Port());
    ASSERT_TRUE(
        WaitUntil([&] { return client.state() == QAbstractSocket::ConnectedState; }, 30000));
    client.write("MARK:TYPE \"RMT\";NUMB 7;*OPC?\n");
    ASSERT_TRUE(WaitUntil([&] { return client.canReadLine(); }, 30000));
    EXPECT_EQ(client.readLine(), "1\n");
    EXPECT_EQ(app.View()->Mark().Type, "RMT");
    EXPECT_EQ(app.View()->Mark().Number, 7);
    EXPECT_TRUE(remote->RemoteShown());

    client.write("READ:ALL?\n");
    ASSERT_TRUE(WaitUntil([&] { return session.ExchangeInProgress(); }, 30000));
    app.View()->OnCommPass();  // F3 during the remote exchange waits for it
    EXPECT_EQ(session.Waiting(), 1);
    ASSERT_TRUE(WaitUntil([&] { return client.canReadLine(); }, 30000));
    const std::string answer = client.readLine().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return origins.size() == 2; }, 30000));
    EXPECT_EQ(origins,
              (std::vector<MeasureOrigin>{MeasureOrigin::Remote, MeasureOrigin::Operator}));

    // The remote measurement was on the panel and is in the store.
    app.Store()->Flush();
    StoreStatus status;
    const auto store = ResultsStore::Open(*app.Store()->ActiveStore(), &status);
    ASSERT_TRUE(store) << status.message;
    std::vector<Result> kept;
    ASSERT_TRUE(store->Find({}, 0, -1, Detail::Summary, kept));
    ASSERT_EQ(kept.size(), 2u);
    const MeasurementRecord& first = kept[1].working.Record;  // newest first
    EXPECT_EQ(kept[1].mark.Type, "RMT");
    EXPECT_EQ(answer.substr(0, answer.find(',')), JsonFloat(first.Urms));

    // *RST: the product information as the settings gave it at start.
    client.write("*RST;:MARK:TYPE?;NUMB?\n");
    ASSERT_TRUE(WaitUntil([&] { return client.canReadLine(); }, 30000));
    EXPECT_EQ(client.readLine().toStdString(),
              "\"" + atStart.Type + "\";" + std::to_string(atStart.Number) + "\n");
    EXPECT_EQ(app.View()->Mark(), atStart);

    client.disconnectFromHost();
    EXPECT_TRUE(WaitUntil([&] { return !remote->RemoteShown(); }, 30000));
    unsetenv("ZX840_COM1");
}

}  // namespace
}  // namespace zx840
