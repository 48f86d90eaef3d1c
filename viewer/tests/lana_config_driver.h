// Drives the LANA selection and configuration dialogs of a running viewer as a user does: the menu, typing
// into the fields, clicking check boxes and buttons.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace tarvoke::testing {

inline constexpr const char *kLanasTitle = "LANA to Configure";

// What to change in the configuration dialog; fields left empty keep what the dialog shows.
struct LanaSettings {
    std::optional<std::string> name;
    std::optional<std::string> frequency;
    std::optional<bool> errors, name_table, capacity, sessions, active;
};

// Waits for a visible window with this title; null when none appeared.
HWND WaitForWindow(std::string_view title);
// Waits for a visible window with this title that has a control `id`: one dialog among windows of the
// same title.
HWND WaitForDialog(std::string_view title, int id);
// Waits until no window with this title is visible.
bool WaitForNoWindow(std::string_view title);

// Replaces the text of an edit control: a click into it, Home, Shift+End, then the text typed.
void ReplaceEditText(HWND hwndEdit, std::string_view text);
// Clicks a check box when its mark differs from `checked`.
void SetCheckMark(HWND hwndDlg, int id, bool checked);
bool IsChecked(HWND hwndDlg, int id);
// The text of a dialog control, read through the control.
std::string ControlText(HWND hwndDlg, int id);

// "&Configure LANA" from the menu; the selection dialog, or null.
HWND OpenSelection(HWND hwndMain);
// The selection dialog with `number` typed and OK pressed; the configuration dialog "LANA nn", or null.
HWND OpenConfiguration(HWND hwndMain, int lana, std::string_view number);
HWND OpenConfiguration(HWND hwndMain, int lana);
// Applies the settings in an open configuration dialog without pressing OK.
void EnterSettings(HWND hwndConfig, const LanaSettings &settings);
// Opens the dialogs for `lana`, applies the settings and presses OK; true once both dialogs are gone.
bool ConfigureLana(HWND hwndMain, int lana, const LanaSettings &settings);

}  // namespace tarvoke::testing
