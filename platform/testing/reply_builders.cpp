// Builders for the reply records a scripted transport returns.
#include "scripted_netbios.h"

#include <algorithm>
#include <cstring>

namespace platform::testing {
namespace {

template <typename Record>
void append_record(std::vector<std::uint8_t> &bytes, const Record &record) {
    auto first = reinterpret_cast<const std::uint8_t *>(&record);
    bytes.insert(bytes.end(), first, first + sizeof(Record));
}

}  // namespace

Name netbios_name(std::string_view text, std::uint8_t pad) {
    Name name;
    name.fill(pad);
    std::copy_n(text.begin(), std::min(text.size(), name.size()), name.begin());
    return name;
}

Name netbios_name(std::string_view text, std::uint8_t pad, std::uint8_t suffix) {
    Name name = netbios_name(text.substr(0, std::min<std::size_t>(text.size(), 15)), pad);
    name[15] = suffix;
    return name;
}

NAME_BUFFER name_buffer(const Name &name, UCHAR number, UCHAR flags) {
    NAME_BUFFER buffer{};
    std::memcpy(buffer.name, name.data(), NCBNAMSZ);
    buffer.name_num = number;
    buffer.name_flags = flags;
    return buffer;
}

SESSION_BUFFER session_buffer(UCHAR lsn, UCHAR state, const Name &local_name, const Name &remote_name, UCHAR receives,
                              UCHAR sends) {
    SESSION_BUFFER buffer{};
    buffer.lsn = lsn;
    buffer.state = state;
    std::memcpy(buffer.local_name, local_name.data(), NCBNAMSZ);
    std::memcpy(buffer.remote_name, remote_name.data(), NCBNAMSZ);
    buffer.rcvs_outstanding = receives;
    buffer.sends_outstanding = sends;
    return buffer;
}

std::vector<std::uint8_t> adapter_status_reply(ADAPTER_STATUS status, const std::vector<NAME_BUFFER> &names) {
    status.name_count = static_cast<WORD>(names.size());
    std::vector<std::uint8_t> bytes;
    append_record(bytes, status);
    for (const auto &name : names)
        append_record(bytes, name);
    return bytes;
}

std::vector<std::uint8_t> session_status_reply(SESSION_HEADER header, const std::vector<SESSION_BUFFER> &sessions) {
    header.num_sess = static_cast<UCHAR>(sessions.size());
    std::vector<std::uint8_t> bytes;
    append_record(bytes, header);
    for (const auto &session : sessions)
        append_record(bytes, session);
    return bytes;
}

}  // namespace platform::testing
