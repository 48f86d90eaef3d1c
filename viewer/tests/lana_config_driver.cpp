#include "lana_config_driver.h"

#include <cstdio>

#include "resource.h"
#include "testing/headless_display.h"
#include "viewer_harness.h"

namespace tarvoke::testing {

namespace ui = platform::testing::ui;

HWND WaitForWindow(std::string_view title) {
    HWND hwnd = nullptr;
    wait_for([&] { return (hwnd = ui::find_window_titled(title)) != nullptr; });
    return hwnd;
}

bool WaitForNoWindow(std::string_view title) {
    return wait_for([&] { return ui::find_window_titled(title) == nullptr; });
}

void ReplaceEditText(HWND hwndEdit, std::string_view text) {
    ui::click(ui::center_of(hwndEdit));
    ui::key(VK_HOME);
    ui::key(VK_END, true);
    if (text.empty())
        ui::key(VK_DELETE);
    else
        ui::type(text);
}

bool IsChecked(HWND hwndDlg, int id) {
    return SendMessageA(GetDlgItem(hwndDlg, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetCheckMark(HWND hwndDlg, int id, bool checked) {
    if (IsChecked(hwndDlg, id) != checked) {
        ui::click(ui::center_of(GetDlgItem(hwndDlg, id)));
        wait_for([&] { return IsChecked(hwndDlg, id) == checked; });
    }
}

std::string ControlText(HWND hwndDlg, int id) {
    char szText[64] = "";
    GetWindowTextA(GetDlgItem(hwndDlg, id), szText, sizeof szText);
    return szText;
}

HWND WaitForDialog(std::string_view title, int id) {
    HWND found = nullptr;
    wait_for([&] {
        for (HWND hwnd : ui::visible_windows()) {
            char szTitle[64] = "";
            GetWindowTextA(hwnd, szTitle, sizeof szTitle);
            if (title == szTitle && GetDlgItem(hwnd, id) != nullptr) {
                found = hwnd;
                return true;
            }
        }
        return false;
    });
    return found;
}

HWND OpenSelection(HWND hwndMain) {
    ChooseMenuItem(hwndMain, 'c');
    return WaitForWindow(kLanasTitle);
}

HWND OpenConfiguration(HWND hwndMain, int lana, std::string_view number) {
    HWND hwndLanas = OpenSelection(hwndMain);
    if (!hwndLanas)
        return nullptr;
    ReplaceEditText(GetDlgItem(hwndLanas, IDC_LANAS_NUMBER), number);
    ui::click(ui::center_of(GetDlgItem(hwndLanas, IDC_LANAS_OK)));
    char szTitle[16];
    std::snprintf(szTitle, sizeof szTitle, "LANA %02d", lana);
    HWND hwndConfig = WaitForDialog(szTitle, IDC_CONFIG_OK);  // the display window has the same title
    // The dialog's controls are filled during its creation; the check boxes show the slot once it paints.
    if (hwndConfig)
        wait_for([&] { return !ui::window_text(hwndConfig).empty(); });
    return hwndConfig;
}

HWND OpenConfiguration(HWND hwndMain, int lana) {
    return OpenConfiguration(hwndMain, lana, std::to_string(lana));
}

void EnterSettings(HWND hwndConfig, const LanaSettings &settings) {
    if (settings.name)
        ReplaceEditText(GetDlgItem(hwndConfig, IDC_CONFIG_NAME), *settings.name);
    if (settings.frequency)
        ReplaceEditText(GetDlgItem(hwndConfig, IDC_CONFIG_FREQUENCY), *settings.frequency);
    const std::pair<int, std::optional<bool>> checks[] = {
        {IDC_CONFIG_ERRORS, settings.errors},     {IDC_CONFIG_NAMETABLE, settings.name_table},
        {IDC_CONFIG_CAPACITY, settings.capacity}, {IDC_CONFIG_SESSIONS, settings.sessions},
        {IDC_CONFIG_ACTIVE, settings.active},
    };
    for (const auto &[id, checked] : checks) {
        if (checked)
            SetCheckMark(hwndConfig, id, *checked);
    }
}

bool ConfigureLana(HWND hwndMain, int lana, const LanaSettings &settings) {
    HWND hwndConfig = OpenConfiguration(hwndMain, lana);
    if (!hwndConfig)
        return false;
    EnterSettings(hwndConfig, settings);
    ui::click(ui::center_of(GetDlgItem(hwndConfig, IDC_CONFIG_OK)));
    return WaitForNoWindow(kLanasTitle);
}

}  // namespace tarvoke::testing
