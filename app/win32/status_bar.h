// The main window's status bar: one owner-drawn part and a simple mode for
// menu help. Owner-drawn texts are held by reference (a pointer to the
// writer's own std::string), so every writer keeps its text alive.
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

    // Leaves simple mode, then shows text owner-drawn.
    void SetStatusText(const std::string& text);
    // The bar's own texts, each kept here while it is shown: what the last
    // snapshot, clipboard copy or notice did (out of simple mode), the last
    // recording's figures, and the help of the menu item under the cursor.
    void ShowMessage(std::string text);
    void ShowStatistics(std::string text);
    void ShowMenuHelp(std::string text);
    void SetSimple(bool simple);
    void SetSimpleText(const std::string& text);
    void Forward(UINT message, WPARAM wParam, LPARAM lParam);

    // WM_DRAWITEM for part 0: the text in the status font, red when it is a
    // reservation text.
    static void Draw(const DRAWITEMSTRUCT& item, HFONT font);

private:
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    int height_ = 0;
    std::string message_;
    std::string statistics_;
    std::string menuHelp_;
};

}  // namespace kestrova
