// lanas: prints the LANA numbers that NetBIOS enumeration lists, one per line, lowest first; nothing when
// there is none. Exit code 0, or the enumeration's return code when it fails.
#include <windows.h>
#include <nb30.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

int main() {
    LANA_ENUM lanas{};
    NCB ncb;
    std::memset(&ncb, 0, sizeof ncb);
    ncb.ncb_command = NCBENUM;
    ncb.ncb_buffer = reinterpret_cast<PUCHAR>(&lanas);
    ncb.ncb_length = sizeof lanas;
    UCHAR retcode = Netbios(&ncb);
    if (retcode != NRC_GOODRET) {
        std::fprintf(stderr, "lanas: enumeration failed with NetBIOS return code 0x%02X\n", retcode);
        return retcode;
    }
    std::vector<int> numbers(lanas.lana, lanas.lana + std::min<int>(lanas.length, MAX_LANA + 1));
    std::sort(numbers.begin(), numbers.end());
    for (int lana : numbers)
        std::printf("%d\n", lana);
    return 0;
}
