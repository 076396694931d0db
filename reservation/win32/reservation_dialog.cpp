#include "reservation/win32/reservation_dialog.h"

#include "platform/win32_dialog.h"
#include "platform/win32_dpi.h"
#include "platform/files.h"
#include "platform/win32_process.h"
#include "platform/win32_text.h"
#include "reservation/after_run.h"
#include "reservation/iepg.h"
#include "reservation/reservation_dialog.h"
#include "store/string_table.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <bitset>
#include <optional>
#include <string>
#include <variant>

namespace kestrova {

namespace {

// Posted after a pick from the length list: the combo box puts the item's
// text into its field only after telling us, so the length is written then.
constexpr UINT kWriteLength = WM_APP + 1;
constexpr COLORREF kSaturdayColor = RGB(50, 50, 255);
constexpr COLORREF kSundayColor = RGB(255, 50, 50);
constexpr COLORREF kOverlapColor = RGB(255, 50, 50);
constexpr int kWeekdayCount = 7;
constexpr WPARAM kNumberFieldLimit = 2;

struct TextField {
    int id;
    std::string ReservationForm::*text;
};

// The start and end fields come first: a change to them moves the length.
constexpr TextField kTimeFields[] = {
    {IDC_RES_START_HOUR, &ReservationForm::startHour}, {IDC_RES_START_MINUTE, &ReservationForm::startMinute},
    {IDC_RES_START_SECOND, &ReservationForm::startSecond}, {IDC_RES_END_HOUR, &ReservationForm::endHour},
    {IDC_RES_END_MINUTE, &ReservationForm::endMinute},     {IDC_RES_END_SECOND, &ReservationForm::endSecond},
};
constexpr TextField kOtherFields[] = {
    {IDC_RES_MONTH, &ReservationForm::month},
    {IDC_RES_DAY, &ReservationForm::day},
    {IDC_RES_COMMENT, &ReservationForm::comment},
    {IDC_RES_LENGTH, &ReservationForm::length},
};

struct Spin {
    int id;
    int low;
    int high;
};
constexpr Spin kSpins[] = {
    {IDC_RES_MONTH_SPIN, 1, 12},       {IDC_RES_DAY_SPIN, 1, 31},         {IDC_RES_START_HOUR_SPIN, 0, 23},
    {IDC_RES_START_MINUTE_SPIN, 0, 59}, {IDC_RES_START_SECOND_SPIN, 0, 59}, {IDC_RES_END_HOUR_SPIN, 0, 23},
    {IDC_RES_END_MINUTE_SPIN, 0, 59},   {IDC_RES_END_SECOND_SPIN, 0, 59},
};
constexpr int kDateControls[] = {IDC_RES_MONTH, IDC_RES_MONTH_SPIN, IDC_RES_DAY, IDC_RES_DAY_SPIN};

struct Column {
    unsigned title;  // string id
    int width;       // pixels, at the reference base unit below
};
constexpr Column kColumns[] = {{strings::kColumnNumber, 20},
                               {strings::kColumnStart, 105},
                               {strings::kColumnEnd, 60},
                               {strings::kColumnComment, 192}};
// The widest text of the first column: a number with the overlap mark.
constexpr const wchar_t* kWidestNumber = L"99!";
// The column widths are pixels of the dialog drawn with ＭＳ Ｐゴシック 9 pt
// at 96 dpi, where 4 horizontal dialog units are 6 pixels. They grow with
// the dialog's font and dpi as the controls do, so the times still fit, and
// never leave a column too narrow for its title (nor the first for its
// widest number).
constexpr int kReferenceBaseX = 6;
constexpr int kHeaderMarginEdges = 6;  // a header item's text margins, in SM_CXEDGE

struct DialogContext {
    ReservationDialogState state;
    Margins margins;
    const Clock* clock;
    bool writing = false;  // the controls are being filled by the program
};

// A TV-guide file read as a programme; one that is not is refused in a box
// over `owner` that names its first bad line.
std::optional<IepgProgramme> ReadProgramme(HWND owner, const std::string& path) {
    // A file larger than any programme is not read at all.
    WIN32_FILE_ATTRIBUTE_DATA about{};
    std::variant<IepgProgramme, IepgFault> parsed = IepgTooLarge();
    if (GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &about) == 0) {
        parsed = IepgFault{0, SystemErrorText(GetLastError())};
    } else if (about.nFileSizeHigh == 0 && about.nFileSizeLow <= kIepgMaxBytes) {
        const std::optional<std::string> bytes = ReadWholeFile(path);
        parsed = bytes ? ParseIepg(*bytes) : IepgFault{0, SystemErrorText(GetLastError())};
    }
    if (const auto* fault = std::get_if<IepgFault>(&parsed)) {
        const std::string name = path.substr(path.find_last_of("\\/") + 1);
        MessageBoxW(owner, Widen(IepgRefusal(name, *fault)).c_str(), Widen(LoadText(strings::kErrorCaption)).c_str(),
                    MB_ICONERROR);
        return std::nullopt;
    }
    return std::get<IepgProgramme>(parsed);
}

// A programme into the first free slot, selected; a full table is told.
bool PlaceProgramme(HWND owner, ReservationDialogState& state, const ReservationEntry& entry) {
    if (state.Place(entry)) return true;
    MessageBoxW(owner, Widen(FillText(strings::kIepgTableFull, {entry.comment})).c_str(),
                Widen(LoadText(strings::kErrorCaption)).c_str(), MB_ICONERROR);
    return false;
}

// 番組ﾌｧｲﾙ...: the system's open dialog, for programme files only.
std::optional<std::string> AskProgrammePath(HWND owner) {
    std::wstring filter = Widen(LoadText(strings::kProgrammeFileType));
    filter += L'\0';
    filter += L"*.tvpi;*.tvpid";
    filter += L'\0';
    const std::wstring title = Widen(LoadText(strings::kProgrammeFileTitle));
    std::wstring file(MAX_PATH * 4, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrTitle = title.c_str();
    // Browsing into another folder leaves the current directory alone.
    ofn.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&ofn)) return std::nullopt;
    return Narrow(file.c_str());
}

void SetFieldText(HWND dialog, int id, const std::string& text) {
    if (ControlText(dialog, id) != text) SetControlText(dialog, id, text);
}

// Two digits beside an up-down in 21 units: the edits have no margins.
void NarrowMargins(HWND dialog, int id) {
    SendDlgItemMessageW(dialog, id, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(0, 0));
}

void ReadForm(HWND dialog, ReservationForm& form) {
    for (const TextField& f : kTimeFields) form.*f.text = ControlText(dialog, f.id);
    for (const TextField& f : kOtherFields) form.*f.text = ControlText(dialog, f.id);
    form.weekdays = 0;
    for (int k = 0; k < kWeekdayCount; ++k) {
        if (IsChecked(dialog, IDC_RES_SUNDAY + k)) form.weekdays |= 1 << k;
    }
    form.powerOff = IsChecked(dialog, IDC_RES_POWEROFF);
    const LRESULT action = SendDlgItemMessageW(dialog, IDC_RES_AFTERRUN, CB_GETCURSEL, 0, 0);
    form.afterRun = action == CB_ERR ? 0 : static_cast<int>(action);
}

// The form into the controls; only what differs is touched, so the caret
// stays where the user types.
void WriteForm(HWND dialog, DialogContext& c) {
    const ReservationForm& form = c.state.form();
    c.writing = true;
    for (const TextField& f : kTimeFields) SetFieldText(dialog, f.id, form.*f.text);
    for (const TextField& f : kOtherFields) SetFieldText(dialog, f.id, form.*f.text);
    for (int k = 0; k < kWeekdayCount; ++k) {
        SetChecked(dialog, IDC_RES_SUNDAY + k, ((form.weekdays >> k) & 1) != 0);
    }
    SetChecked(dialog, IDC_RES_POWEROFF, form.powerOff);
    SendDlgItemMessageW(dialog, IDC_RES_AFTERRUN, CB_SETCURSEL, static_cast<WPARAM>(form.afterRun), 0);
    for (int id : kDateControls) EnableWindow(GetDlgItem(dialog, id), form.DateEnabled() ? TRUE : FALSE);
    SetFieldText(dialog, IDC_RES_NUMBER, c.state.number());
    c.writing = false;
}

void WriteRow(HWND dialog, const DialogContext& c, int index) {
    const ReservationRow row = c.state.Row(index);
    const std::string* texts[] = {&row.number, &row.start, &row.end, &row.comment};
    const HWND list = GetDlgItem(dialog, IDC_RES_LIST);
    for (int column = 0; column < 4; ++column) {
        std::wstring text = Widen(*texts[column]);
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text.data();
        SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    }
}

int TextWidth(HWND list, const wchar_t* text) {
    return static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text)));
}

void FillList(HWND dialog, const DialogContext& c) {
    const HWND list = GetDlgItem(dialog, IDC_RES_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT,
                 LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    RECT base{0, 0, 4, 8};
    MapDialogRect(dialog, &base);
    for (int i = 0; i < 4; ++i) {
        std::wstring title = Widen(LoadText(kColumns[i].title));
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        int textWidth = TextWidth(list, title.c_str());
        if (i == 0) textWidth = std::max(textWidth, TextWidth(list, kWidestNumber));
        column.cx = std::max(MulDiv(kColumns[i].width, base.right, kReferenceBaseX),
                             textWidth + kHeaderMarginEdges * MetricForDpi(SM_CXEDGE, WindowDpi(dialog)));
        column.pszText = title.data();
        column.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    for (int index = 0; index < kReservationSlots; ++index) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = index;
        item.pszText = const_cast<wchar_t*>(L"");
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        WriteRow(dialog, c, index);
    }
}

// The selection mark on `row`, in view; the list tells us, and the row is
// loaded into the form.
void MarkRow(HWND dialog, int row) {
    LVITEMW mark{};
    mark.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    mark.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendDlgItemMessageW(dialog, IDC_RES_LIST, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&mark));
    SendDlgItemMessageW(dialog, IDC_RES_LIST, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

void InitDialog(HWND dialog, DialogContext& c) {
    const HWND combo = GetDlgItem(dialog, IDC_RES_LENGTH);
    for (const OneTouchChoice& choice : ReservationLengthChoices()) {
        const auto item = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(choice.text).c_str()));
        if (item >= 0) SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(item), choice.minutes);
    }
    for (const AfterRunAction action : {AfterRunAction::PowerOff, AfterRunAction::Sleep, AfterRunAction::Hibernate}) {
        SendDlgItemMessageW(dialog, IDC_RES_AFTERRUN, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(Widen(AfterRunName(action)).c_str()));
    }
    // Up adds one; the ends hold.
    for (const Spin& spin : kSpins) SendDlgItemMessageW(dialog, spin.id, UDM_SETRANGE32, spin.low, spin.high);
    for (const TextField& f : kTimeFields) {
        SendDlgItemMessageW(dialog, f.id, EM_LIMITTEXT, kNumberFieldLimit, 0);
        NarrowMargins(dialog, f.id);
    }
    for (int id : {IDC_RES_MONTH, IDC_RES_DAY}) {
        SendDlgItemMessageW(dialog, id, EM_LIMITTEXT, kNumberFieldLimit, 0);
        NarrowMargins(dialog, id);
    }
    // No more characters than bytes; the bytes themselves are held when typed.
    SendDlgItemMessageW(dialog, IDC_RES_COMMENT, EM_LIMITTEXT, kCommentMaxBytes, 0);
    SetControlText(dialog, IDC_RES_MARGINS, MarginsText(c.margins));
    FillList(dialog, c);
    WriteForm(dialog, c);
    // Row 1 (or a programme's row) gets the selection mark, which loads it
    // into the form.
    MarkRow(dialog, std::max(0, c.state.selected()));
}

// Commas as stored and no more than 255 bytes, right where they are typed.
void FitComment(HWND dialog, DialogContext& c) {
    const HWND edit = GetDlgItem(dialog, IDC_RES_COMMENT);
    const std::wstring wide = ControlTextW(dialog, IDC_RES_COMMENT);
    DWORD caretEnd = 0;
    SendMessageW(edit, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&caretEnd));
    const std::string text = Narrow(wide);
    const std::size_t caret = Narrow(wide.substr(0, std::min<std::size_t>(caretEnd, wide.size()))).size();
    const TypedComment fit = FitTypedComment(text, caret);
    if (fit.text == text) return;
    c.writing = true;
    SetWindowTextW(edit, Widen(fit.text).c_str());
    const auto at = static_cast<WPARAM>(Widen(std::string_view(fit.text).substr(0, fit.caret)).size());
    SendMessageW(edit, EM_SETSEL, at, static_cast<LPARAM>(at));
    c.writing = false;
}

bool IsTimeField(int id) {
    return std::any_of(std::begin(kTimeFields), std::end(kTimeFields), [id](const TextField& f) { return f.id == id; });
}

// Row `row` again, and every row whose overlap mark came or went since
// `marked` (a partner's too).
void WriteMarkedRows(HWND dialog, const DialogContext& c, const std::bitset<kReservationSlots>& marked, int row) {
    for (int index = 0; index < kReservationSlots; ++index) {
        const auto slot = static_cast<std::size_t>(index);
        if (index == row || marked.test(slot) != c.state.overlapping().test(slot)) WriteRow(dialog, c, index);
    }
}

// 予約する or 予約解除 on the selected row.
void ChangeSlot(HWND dialog, DialogContext& c, int id) {
    const std::bitset<kReservationSlots> marked = c.state.overlapping();
    if (id == IDC_RES_RESERVE) {
        c.state.Reserve();
    } else {
        c.state.Release();
    }
    WriteMarkedRows(dialog, c, marked, c.state.selected());
}

void OnButton(HWND dialog, DialogContext& c, int id) {
    ReservationDialogState& state = c.state;
    ReadForm(dialog, state.form());
    if (id == IDC_RES_RESERVE || id == IDC_RES_RELEASE) {
        ChangeSlot(dialog, c, id);
        return;
    }
    if (id == IDC_RES_NOW) state.SetToNow();
    WriteForm(dialog, c);  // 現時刻設定, or a weekday box: the date fields follow
}

// 番組ﾌｧｲﾙ...: a programme into the first free slot, as if opened with it.
void OpenProgramme(HWND dialog, DialogContext& c) {
    const std::optional<std::string> path = AskProgrammePath(dialog);
    if (!path) return;
    const std::optional<IepgProgramme> programme = ReadProgramme(dialog, *path);
    if (!programme) return;
    ReadForm(dialog, c.state.form());
    const std::bitset<kReservationSlots> marked = c.state.overlapping();
    if (!PlaceProgramme(dialog, c.state, IepgReservation(*c.clock, *programme))) return;
    WriteMarkedRows(dialog, c, marked, c.state.selected());
    WriteForm(dialog, c);
    MarkRow(dialog, c.state.selected());
}

// 登録 with reservations that overlap (as they stand now) warns and
// registers all the same.
void WarnOfOverlaps(HWND dialog, DialogContext& c) {
    const std::bitset<kReservationSlots> marked = c.state.overlapping();
    c.state.FindOverlaps();
    WriteMarkedRows(dialog, c, marked, -1);
    if (c.state.overlaps().empty()) return;
    MessageBoxW(dialog, Widen(OverlapWarningText(c.state.overlaps())).c_str(), Widen(LoadText(strings::kWarningCaption)).c_str(), MB_ICONWARNING | MB_OK);
}

INT_PTR OnCommand(HWND dialog, DialogContext& c, int id, int code) {
    if (id == IDOK || id == IDCANCEL) {
        if (id == IDOK) WarnOfOverlaps(dialog, c);
        EndDialog(dialog, id);
        return TRUE;
    }
    if (id == IDC_RES_PROGRAMME && code == BN_CLICKED) {
        OpenProgramme(dialog, c);
        return TRUE;
    }
    const bool weekday = id >= IDC_RES_SUNDAY && id < IDC_RES_SUNDAY + kWeekdayCount;
    if ((id == IDC_RES_RESERVE || id == IDC_RES_RELEASE || id == IDC_RES_NOW || weekday) && code == BN_CLICKED) {
        OnButton(dialog, c, id);
        return TRUE;
    }
    if (c.writing) return FALSE;
    if (code == EN_CHANGE && id == IDC_RES_COMMENT) {
        FitComment(dialog, c);
    } else if (code == EN_CHANGE && IsTimeField(id)) {
        ReadForm(dialog, c.state.form());
        c.state.TimesChanged();
        WriteForm(dialog, c);
    } else if (id == IDC_RES_LENGTH && code == CBN_EDITCHANGE) {
        ReadForm(dialog, c.state.form());
        c.state.LengthTyped();
        WriteForm(dialog, c);
    } else if (id == IDC_RES_LENGTH && code == CBN_SELCHANGE) {
        const LRESULT item = SendDlgItemMessageW(dialog, IDC_RES_LENGTH, CB_GETCURSEL, 0, 0);
        if (item == CB_ERR) return TRUE;
        ReadForm(dialog, c.state.form());
        c.state.LengthChosen(SendDlgItemMessageW(dialog, IDC_RES_LENGTH, CB_GETITEMDATA, static_cast<WPARAM>(item), 0));
        WriteForm(dialog, c);
        PostMessageW(dialog, kWriteLength, 0, 0);
    } else {
        return FALSE;
    }
    return TRUE;
}

// Rows of overlapping slots in red. A dialog procedure answers through
// DWLP_MSGRESULT.
INT_PTR ListColors(HWND dialog, const DialogContext& c, NMLVCUSTOMDRAW& draw) {
    LRESULT result = CDRF_DODEFAULT;
    if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) {
        result = CDRF_NOTIFYITEMDRAW;
    } else if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT && draw.nmcd.dwItemSpec < c.state.overlapping().size() &&
               c.state.overlapping().test(draw.nmcd.dwItemSpec)) {
        draw.clrText = kOverlapColor;
    }
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR OnNotify(HWND dialog, DialogContext& c, NMHDR& header) {
    if (header.idFrom != IDC_RES_LIST) return FALSE;
    if (header.code == NM_CUSTOMDRAW) return ListColors(dialog, c, reinterpret_cast<NMLVCUSTOMDRAW&>(header));
    if (header.code != LVN_ITEMCHANGED) return FALSE;
    const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
    if ((change.uChanged & LVIF_STATE) == 0) return FALSE;
    const bool was = (change.uOldState & LVIS_SELECTED) != 0;
    const bool is = (change.uNewState & LVIS_SELECTED) != 0;
    if (is && !was) {
        ReadForm(dialog, c.state.form());  // an empty slot keeps what the form shows
        c.state.Select(change.iItem);
        WriteForm(dialog, c);
    } else if (was && !is && change.iItem == c.state.selected()) {
        c.state.Select(-1);
    }
    return TRUE;
}

// 土 in blue, 日 and PowerOFF in red, on the dialog's own background.
INT_PTR CheckBoxColors(HDC dc, HWND control) {
    const int id = GetDlgCtrlID(control);
    if (id != IDC_RES_SATURDAY && id != IDC_RES_SUNDAY && id != IDC_RES_POWEROFF) return FALSE;
    SetTextColor(dc, id == IDC_RES_SATURDAY ? kSaturdayColor : kSundayColor);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, DialogContext& c) {
    switch (message) {
    case WM_INITDIALOG:
        InitDialog(dialog, c);
        return TRUE;
    case WM_COMMAND:
        return OnCommand(dialog, c, LOWORD(wParam), HIWORD(wParam));
    case WM_NOTIFY:
        return OnNotify(dialog, c, *reinterpret_cast<NMHDR*>(lParam));
    case kWriteLength:
        c.writing = true;
        SetFieldText(dialog, IDC_RES_LENGTH, c.state.form().length);
        c.writing = false;
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return CheckBoxColors(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    default:
        return FALSE;
    }
}

}  // namespace

std::optional<ReservationEdit> RunReservationDialog(HINSTANCE instance, HWND owner, const Clock& clock,
                                                    const ReservationTable& live, Margins margins,
                                                    const ReservationEntry* placed) {
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&classes);
    ReservationTable opened = live;
    DialogContext context{ReservationDialogState(clock, opened), margins, &clock};
    if (placed != nullptr && !PlaceProgramme(owner, context.state, *placed)) return std::nullopt;
    if (RunModalDialog<DialogContext, HandleMessage>(instance, owner, IDD_RESERVATION, context) != IDOK) {
        return std::nullopt;
    }
    return ReservationEdit{std::move(opened), context.state.table()};
}

void ReservationsCommand(HINSTANCE instance, HWND owner, const Clock& clock, ReservationBook& book,
                         Scheduler& scheduler, const ReservationEntry* placed) {
    SlotSet changed;
    if (std::optional<ReservationEdit> edit =
            RunReservationDialog(instance, owner, clock, book.table(), scheduler.MarginsInForce(), placed)) {
        // The slots taken from the dialog count as reserved just now.
        changed = book.Commit(edit->opened, edit->edited);
        if (book.saveFailed()) {
            MessageBoxW(owner, Widen(FormatText(strings::kNotSavedTo, book.path())).c_str(),
                        Widen(LoadText(strings::kErrorCaption)).c_str(), MB_ICONERROR);
        }
    }
    scheduler.Rearm(changed);
}

void ProgrammeFileCommand(HINSTANCE instance, HWND owner, const Clock& clock, ReservationBook& book,
                          Scheduler& scheduler, const std::string& path) {
    const std::optional<IepgProgramme> programme = ReadProgramme(owner, path);
    if (!programme) return;
    const ReservationEntry entry = IepgReservation(clock, *programme);
    ReservationsCommand(instance, owner, clock, book, scheduler, &entry);
}

}  // namespace kestrova
