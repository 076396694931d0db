#include "platform/clock.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <ctime>

namespace kestrova {
namespace {

void UseJapanTime() {
#ifdef _WIN32
    _putenv_s("TZ", "JST-9");
    _tzset();
#else
    setenv("TZ", "JST-9", 1);
    tzset();
#endif
}

// The manual clock the schedule tests run on must calendar exactly as the
// system clock does in Japan's time zone, including after 2038 in the
// 32-bit build and with mktime's normalising of out-of-range fields; from
// the first reservation time to a day past the last (in the year 3000).
TEST(Clocks, ManualClockCalendarsLikeTheSystemClock) {
    UseJapanTime();
    const SystemClock system;
    const ManualClock manual;
    for (const std::int64_t t :
         {86400LL, 951782399LL, 951782400LL, 2147483647LL, 2147483648LL, 4107542399LL, 32535043199LL + 86400}) {
        SCOPED_TRACE(t);
        const LocalTime lt = manual.ToLocal(t);
        EXPECT_EQ(system.ToLocal(t), lt);
        EXPECT_EQ(manual.FromLocal(lt.year, lt.month, lt.day, lt.hour, lt.minute, lt.second), t);
        EXPECT_EQ(system.FromLocal(lt.year, lt.month, lt.day, lt.hour, lt.minute, lt.second), t);
    }
    EXPECT_EQ(manual.ToLocal(986342400), (LocalTime{2001, 4, 4, 9, 0, 0, 3}));
    EXPECT_EQ(manual.FromLocal(2001, 3, 35, 9, 0, 0), 986342400);  // day 35 of March rolls into April
    for (const auto& [y, mo, d, h, mi, s] : {std::array{2000, 13, 1, 0, 0, 0}, {2001, 0, 31, 23, 59, 60},
                                             {2001, 4, 0, 24, 0, 0}, {2000, 2, 30, 0, -1, 0}}) {
        EXPECT_EQ(manual.FromLocal(y, mo, d, h, mi, s), system.FromLocal(y, mo, d, h, mi, s)) << y << "-" << mo;
    }
}

}  // namespace
}  // namespace kestrova
