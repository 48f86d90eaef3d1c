// Builders for the reply records a scripted transport returns.
#include "scripted_netbios.h"

#include <algorithm>
#include <cstring>

namespace platform::testing {
namespace {

// A header followed by its entries, laid out as Netbios() writes them into an NCB's buffer.
template <typename Header, typename Entry>
std::vector<std::uint8_t> header_and_entries(const Header &header, const std::vector<Entry> &entries) {
    std::vector<std::uint8_t> bytes(sizeof header + entries.size() * sizeof(Entry));
    std::memcpy(bytes.data(), &header, sizeof header);
    if (!entries.empty())
        std::memcpy(bytes.data() + sizeof header, entries.data(), entries.size() * sizeof(Entry));
    return bytes;
}

}  // namespace

Name netbios_name(std::string_view text, std::uint8_t pad) {
    Name name;
    name.fill(pad);
    std::copy_n(text.begin(), std::min(text.size(), name.size()), name.begin());
    return name;
}

Name netbios_name(std::string_view text, std::uint8_t pad, std::uint8_t suffix) {
    Name name = netbios_name(text.substr(0, 15), pad);
    name[15] = suffix;
    return name;
}

NAME_BUFFER name_buffer(const Name &name, UCHAR number, UCHAR flags) {
    NAME_BUFFER buffer{{}, number, flags};
    std::memcpy(buffer.name, name.data(), NCBNAMSZ);
    return buffer;
}

SESSION_BUFFER session_buffer(UCHAR lsn, UCHAR state, const Name &local_name, const Name &remote_name, UCHAR receives,
                              UCHAR sends) {
    SESSION_BUFFER buffer{lsn, state, {}, {}, receives, sends};
    std::memcpy(buffer.local_name, local_name.data(), NCBNAMSZ);
    std::memcpy(buffer.remote_name, remote_name.data(), NCBNAMSZ);
    return buffer;
}

std::vector<std::uint8_t> adapter_status_reply(ADAPTER_STATUS status, const std::vector<NAME_BUFFER> &names) {
    status.name_count = static_cast<WORD>(names.size());
    return header_and_entries(status, names);
}

std::vector<std::uint8_t> session_status_reply(SESSION_HEADER header, const std::vector<SESSION_BUFFER> &sessions) {
    header.num_sess = static_cast<UCHAR>(sessions.size());
    return header_and_entries(header, sessions);
}

}  // namespace platform::testing
