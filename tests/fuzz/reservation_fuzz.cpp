// Reservation values: any bytes parse. What cannot be used is kept and
// written back byte for byte; what can has times the clocks show as dates,
// spans that do not overflow, and formats and parses back to itself except
// for what the stored form cannot hold (line breaks and commas in the
// comment).
#include "fuzz_check.h"
#include "platform/cp932.h"
#include "reservation/reservation.h"
#include "reservation/schedule.h"

#include <string>

namespace {

using kestrova::ReservationEntry;

// Whether the code page holds the text as it is. Not every text it reads
// is: a character with two codes comes back with the other one, and a
// stray lead byte before it may then pair with its first byte.
bool HeldAsIs(const std::string& utf8) { return kestrova::Cp932ToUtf8(kestrova::Utf8ToCp932(utf8)) == utf8; }

// Dates, spans and names of a usable entry, in a zone each side of UTC.
void CheckTimes(const ReservationEntry& entry) {
    using namespace kestrova;
    KESTROVA_FUZZ_CHECK(IsReservationTime(entry.start) && IsReservationTime(entry.end));
    KESTROVA_FUZZ_CHECK(entry.weekdays >= 0 && entry.weekdays <= 127);
    for (const std::int32_t offset : {14 * 3600, -12 * 3600}) {
        const ManualClock clock(entry.start, offset);
        const Span span = SpanOf(clock, entry);
        KESTROVA_FUZZ_CHECK(span.end > span.start && span.end - span.start <= 86400);
        KESTROVA_FUZZ_CHECK(clock.ToLocal(entry.start).year >= 1970 && clock.ToLocal(span.end).year <= 3000);
        KESTROVA_FUZZ_CHECK(TimerStatusText(clock, entry).size() > 8 && !DatedRecordingName(clock, entry.start).empty());
        if (entry.weekdays != 0) {
            const std::int64_t next = WeeklyOccurrenceAfter(clock, entry, entry.start);
            KESTROVA_FUZZ_CHECK(next == 0 || IsReservationTime(next));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrova;

    // A value as read from the file. (Comments the program is given, commas
    // and lengths past 255 bytes, are the unit tests'.)
    const std::string_view value(reinterpret_cast<const char*>(data), size);
    const ReservationEntry read = ParseReservationValue(value);
    const std::string stored = FormatReservationValue(read);
    if (read.used == 0) {
        KESTROVA_FUZZ_CHECK(stored == value && Unreadable(read) == !value.empty());
        KESTROVA_FUZZ_CHECK(read == ParseReservationValue(stored));
        return 0;
    }
    KESTROVA_FUZZ_CHECK(read.used == 1 && read.unreadableValue.empty());
    KESTROVA_FUZZ_CHECK(Utf8ToCp932(read.comment).size() <= kCommentMaxBytes);
    CheckTimes(read);
    ReservationEntry expected = read;
    expected.comment = StorableComment(read.comment);  // commas full-width, within 255 bytes
    const ReservationEntry reread = ParseReservationValue(stored);
    ReservationEntry numbers = reread;  // all but the comment
    numbers.comment = expected.comment;
    KESTROVA_FUZZ_CHECK(numbers == expected && (reread == expected || !HeldAsIs(expected.comment)));
    KESTROVA_FUZZ_CHECK(FormatReservationValue(expected) == stored);
    return 0;
}
