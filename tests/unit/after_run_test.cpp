#include "reservation/after_run.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace kestrova {
namespace {

// The fifth field keeps what older files mean (any other value is a
// power-off), and the dialog's box and drop-down go to it and back.
TEST(AfterRun, TheStoredFieldTheDialogAndTheNames) {
    const struct {
        std::int32_t field;
        AfterRunAction action;
        int choice;
    } table[] = {{0, AfterRunAction::None, 0},      {1, AfterRunAction::PowerOff, 0},
                 {2, AfterRunAction::Sleep, 1},     {3, AfterRunAction::Hibernate, 2},
                 {-1, AfterRunAction::PowerOff, 0}, {7, AfterRunAction::PowerOff, 0}};
    for (const auto& row : table) {
        EXPECT_EQ(AfterRunActionOf(row.field), row.action) << row.field;
        EXPECT_EQ(AfterRunChoice(row.field), row.choice) << row.field;
        EXPECT_EQ(AfterRunActionOf(AfterRunField(row.field != 0, row.choice)), row.action) << row.field;
    }
    EXPECT_EQ(AfterRunField(false, 2), 0);
}

// The minute before the action: skipped when the next reservation starts
// within the minutes (also when it is due already), checked again at the
// deadline, and each way it ends is told once.
TEST(AfterRun, TheCountdownSkipsForANearReservationAndEndsOnce) {
    AfterRunCountdown c;
    const std::int64_t now = 1000;
    EXPECT_EQ(c.Begin(AfterRunAction::None, now, std::nullopt, "", 10).line, "");
    const AfterRunCountdown::Step near = c.Begin(AfterRunAction::Sleep, now, now + 600, "№2", 10);
    EXPECT_FALSE(near.counting || c.counting());
    EXPECT_EQ(near.line, "録画後の動作: 次の予約 №2 が 10 分以内に始まるため、スリープしませんでした");
    EXPECT_FALSE(c.Begin(AfterRunAction::Sleep, now, now - 5, "№2", 0).counting);  // due now, no minutes

    const AfterRunCountdown::Step counting = c.Begin(AfterRunAction::PowerOff, now, now + 601, "№2", 10);
    EXPECT_TRUE(counting.counting);
    EXPECT_EQ(counting.line, "録画後の動作: 60 秒後に電源OFFします");
    EXPECT_EQ(c.deadline(), now + kAfterRunCountdownSeconds);
    std::string line;
    EXPECT_EQ(c.Due(now + 59, std::nullopt, "", 10, line), std::nullopt);
    EXPECT_EQ(c.Due(now + 60, std::nullopt, "", 10, line), AfterRunAction::PowerOff);
    EXPECT_EQ(line, "録画後の動作: 電源OFFします");
    EXPECT_EQ(c.Cancel(), "");  // over: nothing more is told

    // A reservation made during the countdown that starts soon skips it.
    c.Begin(AfterRunAction::Hibernate, now, std::nullopt, "", 10);
    EXPECT_EQ(c.Due(now + 60, now + 660, "№7", 10, line), std::nullopt);
    EXPECT_EQ(std::pair(line, c.counting()),
              std::pair(std::string("録画後の動作: 次の予約 №7 が 10 分以内に始まるため、休止しませんでした"), false));

    c.Begin(AfterRunAction::Hibernate, now, std::nullopt, "", 10);
    EXPECT_EQ(c.Cancel(), "録画後の動作: 休止はｷｬﾝｾﾙされました");
    c.Begin(AfterRunAction::Sleep, now, std::nullopt, "", 10);
    EXPECT_EQ(c.Interrupt("№3"), "録画後の動作: №3 が始まるため、スリープを取りやめました");
    EXPECT_EQ(c.Interrupt("№3"), "");
}

// A power-off the machine survived was refused; a sleep again after a run
// only when Kestrova's own wake timer woke the machine and nobody used it.
TEST(AfterRun, ARefusedPowerOffAndASleepAgainAreToldByTheTimes) {
    EXPECT_EQ(std::pair(PowerOffRefused(5000, 4000), PowerOffRefused(5000, 5100)), std::pair(true, false));
    const std::int64_t wake = 10000;
    const struct {
        bool setting;
        std::optional<std::int64_t> wakeSetFor, resumedAt, lastInputAt;
        bool wanted;
    } table[] = {
        {true, wake, wake + 3, wake - 50, true},
        {true, wake, wake + 3, std::nullopt, true},
        {false, wake, wake + 3, wake - 50, false},         // the setting is off
        {true, wake, wake + 3, wake + 4, false},           // used since
        {true, std::nullopt, wake + 3, wake - 50, false},  // no wake timer set
        {true, wake, wake - 1, wake - 50, false},          // woken before its time: not the timer
        {true, wake, wake + 601, wake - 50, false},        // long after it
        {true, wake, std::nullopt, wake - 50, false},      // never slept
    };
    for (const auto& row : table) {
        EXPECT_EQ(ResleepWanted(row.setting, row.wakeSetFor, row.resumedAt, row.lastInputAt), row.wanted) << &row - table;
    }
}

}  // namespace
}  // namespace kestrova
