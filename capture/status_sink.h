// Where the capture device's status texts go: the status bar's part 0.
#pragma once

#include <string>

namespace kestrova {

class StatusSink {
public:
    virtual ~StatusSink() = default;
    virtual bool HasStatusBar() const = 0;
    // Shows text owner-drawn in part 0 (the bar keeps a copy).
    virtual void ShowOwnerDrawn(const std::string& text) = 0;
    // Clears part 0 (plain, not owner-drawn).
    virtual void ClearPart0() = 0;
};

}  // namespace kestrova
