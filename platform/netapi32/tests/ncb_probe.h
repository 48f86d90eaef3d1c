// An NCB with its buffer between guard bytes and a record of what its post routine saw; Win32 and C++ only.
#pragma once

#include <windows.h>
#include <nb30.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

namespace ncb_probe {

constexpr UCHAR guard = 0xcd, unset_code = 0x5a;  // unset_code: in both codes until Netbios() writes them
constexpr size_t guard_bytes = 16;

// The NCB comes first so that a post routine, given the NCB, finds its probe.
struct Probe {
    NCB ncb{};
    std::vector<UCHAR> area;  // guard bytes, the buffer, guard bytes
    std::atomic<int> calls{0}, retcode_seen{-1}, cmd_cplt_seen{-1}, event_signalled_seen{-1};
    std::atomic<DWORD> thread{0};
    HANDLE posted = CreateEventA(NULL, TRUE, FALSE, NULL);

    Probe(UCHAR command, UCHAR lana, WORD length) : area(length + 2 * guard_bytes, guard) {
        ncb.ncb_command = command;
        ncb.ncb_lana_num = lana;
        ncb.ncb_buffer = buffer();
        ncb.ncb_length = length;
        ncb.ncb_retcode = ncb.ncb_cmd_cplt = unset_code;
    }
    ~Probe() { CloseHandle(posted); }
    PUCHAR buffer() { return area.data() + guard_bytes; }
    bool guards_intact() const {
        return size_t(std::count(area.begin(), area.begin() + guard_bytes, guard) +
                      std::count(area.end() - guard_bytes, area.end(), guard)) == 2 * guard_bytes;
    }
    bool wait_posted() { return WaitForSingleObject(posted, 30000) == WAIT_OBJECT_0; }
};

inline void CALLBACK RecordPost(PNCB pncb) {
    Probe *probe = reinterpret_cast<Probe *>(pncb);
    probe->retcode_seen = pncb->ncb_retcode;
    probe->cmd_cplt_seen = pncb->ncb_cmd_cplt;
    probe->thread = GetCurrentThreadId();
    if (pncb->ncb_event)
        probe->event_signalled_seen = WaitForSingleObject(pncb->ncb_event, 0) == WAIT_OBJECT_0;
    probe->calls++;
    SetEvent(probe->posted);
}

}  // namespace ncb_probe
