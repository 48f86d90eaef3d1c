// Counts the commands that are outstanding, so that a test can wait until Netbios() has finished with every
// NCB and buffer it was given; and knows which NCBs are in use, so that an NCB issued again while its first
// command is pending is refused instead of being overwritten under that command.
#pragma once

#include <nb30.h>

namespace platform::netbios {

void command_started();
void command_finished();

// False when the NCB is in use by a command that has not completed.
bool claim_ncb(const NCB *ncb);
// Called before the command's final codes are written: from then on the caller may issue the NCB again.
void release_ncb(const NCB *ncb);

}  // namespace platform::netbios
