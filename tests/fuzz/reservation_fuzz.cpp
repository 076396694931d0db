// Reservation values: any bytes parse, and a formatted entry parses back to
// itself except for what the stored form cannot hold (line breaks and commas
// in the comment, comments past 255 bytes).
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

    // A value as read from the file.
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

    // An entry as the program makes it, its comment any text.
    fuzz::ByteReader in(data, size);
    ReservationEntry entry;
    entry.used = 1;
    entry.start = static_cast<std::int64_t>(in.U64());
    entry.end = static_cast<std::int64_t>(in.U64());
    entry.weekdays = static_cast<std::int32_t>(in.U32());
    entry.powerOff = static_cast<std::int32_t>(in.U32());
    entry.comment = std::string(in.Rest());
    const ReservationEntry back = ParseReservationValue(FormatReservationValue(entry));
    KESTROVA_FUZZ_CHECK(SameNumbers(back, entry));
    const std::string backCp932 = Utf8ToCp932(back.comment);
    KESTROVA_FUZZ_CHECK(backCp932.size() <= kCommentMaxBytes);
    KESTROVA_FUZZ_CHECK(back.comment.find_first_of(",\r\n") == std::string::npos);
    // A comment of characters the code page has comes back whole, or cut to
    // its longest start that fits.
    const std::string want = Storable(entry.comment);
    const std::string wantCp932 = Utf8ToCp932(want);
    if (HeldAsIs(want)) {
        if (wantCp932.size() <= kCommentMaxBytes) {
            KESTROVA_FUZZ_CHECK(back.comment == want);
        } else {
            KESTROVA_FUZZ_CHECK(want.starts_with(back.comment) && backCp932.size() + 1 >= kCommentMaxBytes);
        }
    }
    return 0;
}
