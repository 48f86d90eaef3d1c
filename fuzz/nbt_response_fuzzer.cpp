// Feeds one datagram to the name service response parsers and to the record builders behind them, as a
// hostile node on the LAN could send it. Whatever is parsed must build a record of exactly the size its
// name count says.
#include "netapi32/nbt/name_service_packets.h"
#include "netapi32/nbt/status_records.h"

#include <nb30.h>

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    using namespace platform::nbt;
    std::span<const std::uint8_t> datagram(data, size);

    if (auto status = parse_node_status_response(datagram)) {
        auto record = remote_adapter_status(*status);
        if (record.size() != sizeof(ADAPTER_STATUS) + status->names.size() * sizeof(NAME_BUFFER))
            std::abort();
        ADAPTER_STATUS header;
        std::memcpy(&header, record.data(), sizeof header);
        if (header.name_count != status->names.size())
            std::abort();
        auto local = local_adapter_status({}, {}, status->names);
        if (local.size() != record.size())
            std::abort();
    }
    if (auto answer = parse_name_query_response(datagram)) {
        if (answer->rcode == 0 && answer->addresses.empty())
            std::abort();
    }
    transaction_id_of(datagram);
    return 0;
}
