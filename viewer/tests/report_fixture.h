// Test support: gives a LANA slot a report buffer and a stand-in display window, as activation would, and
// reads a report back line by line.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "lana_slots.h"
#include "report_buffer.h"

namespace tarvoke::testing {

// Puts every slot of LanaSlots and ConfigSlots back to its start-up values.
void RestoreSlotTables();

// A report buffer attached to one slot for the life of the object. The window handle is a made-up value
// that only serves as the slot's key.
class AttachedReport {
public:
    AttachedReport(WORD lana, HWND hwnd);
    ~AttachedReport();
    AttachedReport(const AttachedReport &) = delete;
    AttachedReport &operator=(const AttachedReport &) = delete;

    HWND window() const { return hwnd_; }
    PREPORTBUF report() const { return report_; }
    // The lines appended since the last reset, while the report is being built.
    std::vector<std::string> lines() const;
    // The whole text as NUL-terminated in szText.
    std::string text() const { return report_->szText; }
    // Whether the guard bytes right behind the REPORTBUF are untouched.
    bool guard_intact() const;

private:
    WORD lana_;
    HWND hwnd_;
    HGLOBAL hmem_;
    PREPORTBUF report_;
};

HWND FakeWindow(ULONG_PTR value);

}  // namespace tarvoke::testing
