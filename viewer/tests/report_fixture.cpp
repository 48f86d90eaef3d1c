#include "report_fixture.h"

#include <array>
#include <cstring>
#include <stdexcept>

namespace tarvoke::testing {
namespace {

// Taken before any test runs: the tables are constant-initialised, so they already hold their start-up values.
struct InitialTables {
    std::array<LANASLOT, MAX_LANA_SLOTS> lana;
    std::array<LANASLOT, MAX_LANA_SLOTS> config;
    InitialTables() {
        std::memcpy(lana.data(), LanaSlots, sizeof(LanaSlots));
        std::memcpy(config.data(), ConfigSlots, sizeof(ConfigSlots));
    }
};
const InitialTables initial_tables;

// Bytes behind the REPORTBUF in the same block, to catch a write past szText in builds without ASan.
constexpr SIZE_T guard_size = 64;
constexpr unsigned char guard_byte = 0xA5;

}  // namespace

void RestoreSlotTables() {
    std::memcpy(LanaSlots, initial_tables.lana.data(), sizeof(LanaSlots));
    std::memcpy(ConfigSlots, initial_tables.config.data(), sizeof(ConfigSlots));
}

HWND FakeWindow(ULONG_PTR value) {
    return reinterpret_cast<HWND>(value);
}

AttachedReport::AttachedReport(WORD lana, HWND hwnd) : lana_(lana), hwnd_(hwnd) {
    hmem_ = GlobalAlloc(GMEM_NODISCARD, sizeof(REPORTBUF) + guard_size);
    if (hmem_ == nullptr)
        throw std::runtime_error("GlobalAlloc of a REPORTBUF failed");
    report_ = static_cast<PREPORTBUF>(GlobalLock(hmem_));
    std::memset(reinterpret_cast<unsigned char *>(report_) + sizeof(REPORTBUF), guard_byte, guard_size);
    InitReportBuffer(report_);
    LanaSlots[lana_].hmemLana = hmem_;
    SetSlotDisplayWindow(lana_, hwnd_);
}

AttachedReport::~AttachedReport() {
    SetSlotDisplayWindow(lana_, nullptr);
    LanaSlots[lana_].hmemLana = nullptr;
    GlobalUnlock(hmem_);
    GlobalFree(hmem_);
}

bool AttachedReport::guard_intact() const {
    const unsigned char *guard = reinterpret_cast<const unsigned char *>(report_) + sizeof(REPORTBUF);
    for (SIZE_T i = 0; i < guard_size; ++i) {
        if (guard[i] != guard_byte)
            return false;
    }
    return true;
}

std::vector<std::string> AttachedReport::lines() const {
    std::vector<std::string> result;
    LONG count = GetReportLineCount(report_);
    for (LONG k = 0; k < count; ++k) {
        WORD start = report_->awLineStart[k];
        WORD end = report_->awLineStart[k + 1];
        result.emplace_back(report_->szText + start, report_->szText + end);
    }
    return result;
}

}  // namespace tarvoke::testing
