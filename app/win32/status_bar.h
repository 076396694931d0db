// The main window's status bar: one owner-drawn part and a simple mode for
// menu help. The bar keeps its own copy of the owner-drawn text it shows,
// and draws it red when it is the reservation timer's.
#pragma once

#include "capture/status_sink.h"

#include <windows.h>

#include <string>

namespace kestrova {

class StatusBar : public StatusSink {
public:
    // Destroys the current bar, makes a new one (child id 2) with one part
    // to the right edge and the given font, and measures its height.
    HWND Create(HWND parent, HFONT font);
    void Destroy();
    HWND window() const { return window_; }
    int height() const { return height_; }
    // The font the bar was made with (it draws its simple text in it).
    HFONT font() const { return font_; }
    // Another font for the bar as it is (its height stays).
    void SetFont(HFONT font);

    bool HasStatusBar() const override { return window_ != nullptr && IsWindow(window_); }
    void ShowOwnerDrawn(const std::string& text) override;
    void ClearPart0() override;

    // Leaves simple mode, then shows text owner-drawn: what the last
    // snapshot, clipboard copy or notice did.
    void ShowMessage(const std::string& text);
    // Leaves simple mode, then shows the next reservation, in red.
    void ShowTimerText(const std::string& text);
    // The last recording's figures.
    void ShowStatistics(const std::string& text);
    // The help of the menu item under the cursor, in simple mode.
    void ShowMenuHelp(const std::string& text);
    void SetSimple(bool simple);
    void SetSimpleText(const std::string& text);
    void Forward(UINT message, WPARAM wParam, LPARAM lParam);

    // WM_DRAWITEM for part 0: the text in the status font, red when it is a
    // reservation text.
    static void Draw(const DRAWITEMSTRUCT& item, HFONT font);

private:
    struct Shown {
        std::string text;
        bool timer = false;
    };
    void Show(const std::string& text, bool timer);

    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    int height_ = 0;
    // Two, used in turn: the bar holds a pointer to the one it shows, and a
    // pointer it already holds would not make it draw the part again.
    Shown shown_[2];
    int current_ = 0;
};

}  // namespace kestrova
