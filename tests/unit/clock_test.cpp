#include "platform/clock.h"

#include <gtest/gtest.h>

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
// 32-bit build and with mktime's normalising of out-of-range fields.
TEST(Clocks, ManualClockCalendarsLikeTheSystemClock) {
    UseJapanTime();
    const SystemClock system;
    const ManualClock manual;
    for (std::int64_t t : {std::int64_t{86400}, std::int64_t{951782399}, std::int64_t{951782400},
                           std::int64_t{986342400}, std::int64_t{2147483647}, std::int64_t{2147483648},
                           std::int64_t{4102444800 + 3661}, std::int64_t{4107542399}}) {
        SCOPED_TRACE(t);
        const LocalTime lt = manual.ToLocal(t);
        EXPECT_EQ(system.ToLocal(t), lt);
        EXPECT_EQ(manual.FromLocal(lt.year, lt.month, lt.day, lt.hour, lt.minute, lt.second), t);
        EXPECT_EQ(system.FromLocal(lt.year, lt.month, lt.day, lt.hour, lt.minute, lt.second), t);
    }
    EXPECT_EQ(manual.ToLocal(986342400), (LocalTime{2001, 4, 4, 9, 0, 0, 3}));
    struct Fields {
        int year, month, day, hour, minute, second;
    };
    for (const Fields& f : {Fields{2001, 3, 35, 9, 0, 0}, Fields{2000, 13, 1, 0, 0, 0}, Fields{2001, 0, 31, 23, 59, 60},
                            Fields{2001, 4, 0, 24, 0, 0}, Fields{2000, 2, 30, 0, -1, 0}}) {
        SCOPED_TRACE(testing::Message() << f.year << "-" << f.month << "-" << f.day << " " << f.hour << ":"
                                        << f.minute << ":" << f.second);
        EXPECT_EQ(manual.FromLocal(f.year, f.month, f.day, f.hour, f.minute, f.second),
                  system.FromLocal(f.year, f.month, f.day, f.hour, f.minute, f.second));
    }
    EXPECT_EQ(manual.FromLocal(2001, 3, 35, 9, 0, 0), 986342400);  // day 35 of March rolls into April
}

}  // namespace
}  // namespace kestrova
