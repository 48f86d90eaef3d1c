// An NCB for tests, with a reply buffer between guard bytes and a record of what its post routine saw. Uses only
// the Win32 API and the standard library, so the conformance tests can share it.
#pragma once

#include <windows.h>
#include <nb30.h>

#include <atomic>
#include <cstring>
#include <vector>

namespace ncb_probe {

constexpr UCHAR guard = 0xcd;
constexpr UCHAR unset_code = 0x5a;  // in ncb_retcode and ncb_cmd_cplt until Netbios() writes them
constexpr size_t guard_size = 16;

// The NCB comes first so that a post routine, given the NCB, finds its probe.
struct Probe {
    NCB ncb;
    std::vector<UCHAR> area;  // guard bytes, the buffer, guard bytes
    std::atomic<int> calls{0}, retcode_seen{-1}, cmd_cplt_seen{-1}, event_signalled_seen{-1};
    std::atomic<DWORD> thread{0};
    HANDLE posted = CreateEventA(NULL, TRUE, FALSE, NULL);

    Probe(UCHAR command, UCHAR lana, WORD length) : area(length + 2 * guard_size, guard) {
        memset(&ncb, 0, sizeof(ncb));
        ncb.ncb_command = command;
        ncb.ncb_lana_num = lana;
        ncb.ncb_buffer = buffer();
        ncb.ncb_length = length;
        ncb.ncb_retcode = ncb.ncb_cmd_cplt = unset_code;
    }
    ~Probe() { CloseHandle(posted); }
    Probe(const Probe &) = delete;
    Probe &operator=(const Probe &) = delete;

    PUCHAR buffer() { return area.data() + guard_size; }
    bool guards_intact() const {
        for (size_t i = 0; i < guard_size; i++) {
            if (area[i] != guard || area[area.size() - 1 - i] != guard)
                return false;
        }
        return true;
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
