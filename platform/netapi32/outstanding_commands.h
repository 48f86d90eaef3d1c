// Counts the commands that are outstanding, so that a test can wait until Netbios() has finished with every
// NCB and buffer it was given.
#pragma once

namespace platform::netbios {

void command_started();
void command_finished();

}  // namespace platform::netbios
