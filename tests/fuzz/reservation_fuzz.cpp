// Reservation values: any bytes parse, within 255 bytes of comment, and the
// entry formatted again parses back to itself except for what the stored
// form cannot hold (line breaks and commas in the comment).
#include "fuzz_check.h"
#include "platform/cp932.h"
#include "reservation/reservation.h"

#include <string>

namespace {

using kestrova::ReservationEntry;

// The comment as it can be stored: commas full-width, line breaks blanks.
std::string Storable(std::string_view utf8) {
    std::string out;
    for (const char c : utf8) out += c == ',' ? std::string("，") : std::string(1, c == '\r' || c == '\n' ? ' ' : c);
    return out;
}

// Whether the code page holds the text as it is. Not every text it reads
// is: a character with two codes comes back with the other one, and a
// stray lead byte before it may then pair with its first byte.
bool HeldAsIs(const std::string& utf8) { return kestrova::Cp932ToUtf8(kestrova::Utf8ToCp932(utf8)) == utf8; }

bool SameNumbers(const ReservationEntry& a, const ReservationEntry& b) {
    return a.used == b.used && a.start == b.start && a.end == b.end && a.weekdays == b.weekdays &&
           a.powerOff == b.powerOff;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrova;

    // A value as read from the file. (Comments the program is given, commas
    // and lengths past 255 bytes, are the unit tests'.)
    const std::string_view value(reinterpret_cast<const char*>(data), size);
    const ReservationEntry read = ParseReservationValue(value);
    KESTROVA_FUZZ_CHECK(read.used == (value.empty() ? 0 : 1));
    KESTROVA_FUZZ_CHECK(Utf8ToCp932(read.comment).size() <= kCommentMaxBytes);
    const std::string stored = FormatReservationValue(read);
    ReservationEntry expected = read;
    expected.comment = Storable(read.comment);
    const ReservationEntry reread = ParseReservationValue(stored);
    KESTROVA_FUZZ_CHECK(SameNumbers(reread, read) && (reread == expected || !HeldAsIs(expected.comment)));
    KESTROVA_FUZZ_CHECK(FormatReservationValue(expected) == stored);
    return 0;
}
