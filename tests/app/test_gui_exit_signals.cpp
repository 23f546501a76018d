// A signal ends the window as Exit does: an exchange with the meter that is
// under way finishes first. The meter is a hand-driven pseudo-terminal, so
// the reply comes only once the signal has been taken.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QTimer>

#include "app/exit_signals.h"
#include "app/main_frame.h"
#include "app/zx840_app.h"
#include "commands/command_ids.h"
#include "meter/protocol.h"
#include "tests/gui_helpers.h"
#include "view/zx840_view.h"

namespace zx840 {
namespace {

class HandDrivenMeter {
  public:
    HandDrivenMeter() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        char name[128] = {};
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0 &&
            ptsname_r(master_, name, sizeof name) == 0) {
            path_ = name;
            hold_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            termios tio{};
            tcgetattr(hold_, &tio);
            cfmakeraw(&tio);
            tcsetattr(hold_, TCSANOW, &tio);
        }
    }
    ~HandDrivenMeter() {
        ::close(hold_);
        ::close(master_);
    }
    HandDrivenMeter(const HandDrivenMeter&) = delete;
    HandDrivenMeter& operator=(const HandDrivenMeter&) = delete;

    const std::string& Path() const { return path_; }
    // Bytes of the request received so far.
    std::size_t Received() {
        std::uint8_t buffer[64];
        ssize_t n = 0;
        while ((n = ::read(master_, buffer, sizeof buffer)) > 0) {
            received_ += static_cast<std::size_t>(n);
        }
        return received_;
    }
    bool Reply(const Reply& reply) {
        return ::write(master_, reply.data(), reply.size()) == static_cast<ssize_t>(reply.size());
    }

  private:
    int master_ = -1;
    int hold_ = -1;
    std::string path_;
    std::size_t received_ = 0;
};

TEST(ExitSignals, EndTheWindowOnlyOnceTheExchangeUnderWayIsOver) {
    HandDrivenMeter meter;
    ASSERT_FALSE(meter.Path().empty());
    setenv("ZX840_COM1", meter.Path().c_str(), 1);
    QTemporaryDir settings;
    CZX840ENApp app(settings.path());
    ASSERT_TRUE(app.InitInstance({}));
    ExitSignals exitSignals;
    ASSERT_TRUE(exitSignals.Installed());
    QStringList events;
    QObject::connect(&exitSignals, &ExitSignals::exitRequested, [&](int number) {
        events << QStringLiteral("signal %1").arg(number);
        app.EndSession();
    });
    QObject::connect(app.View(), &CZX840ENView::exchangeFinished,
                     [&] { events << QStringLiteral("exchange over"); });
    MeasurementRecord measured;
    measured.Urms = 230.0F;
    const auto reply = EncodeReply(measured);
    ASSERT_TRUE(reply.has_value());

    int step = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (step == 0 && app.View()->ExchangeInProgress() && meter.Received() >= 2) {
            ::raise(SIGTERM);
            step = 1;
        } else if (step == 1 && app.Ending()) {
            // The signal was taken; the window waits for the meter.
            EXPECT_TRUE(app.Frame()->isVisible());
            EXPECT_TRUE(app.View()->ExchangeInProgress());
            EXPECT_TRUE(meter.Reply(*reply));
            step = 2;
        }
    });
    ticker.start(20);
    QTimer::singleShot(0, app.View(), [&] { app.View()->OnCommand(kCmdCommPass); });
    ASSERT_TRUE(testing::WaitUntil([&] { return !app.Frame()->isVisible(); }, 60000))
        << "step " << step;
    EXPECT_EQ(events, (QStringList{QStringLiteral("signal %1").arg(SIGTERM),
                                   QStringLiteral("exchange over")}));
    // The exchange was carried out, not cut short.
    EXPECT_EQ(app.View()->Working().DataValid, 1);
    EXPECT_FLOAT_EQ(app.View()->Working().Record.Urms, 230.0F);
    unsetenv("ZX840_COM1");
}

}  // namespace
}  // namespace zx840
