#pragma once

#include <string>
#include <vector>

namespace tev::app {

// `tev3p fleet-resend --from TIME [--folder DIR]`: moves the archive's outbox marks back so
// that the fleet sink ships every row from TIME on again, says how many, and ends; without a
// window, the folder lock or the meter ports, so it runs while the recorder records. Status 2
// for a bad option, a missing or unreadable archive, or one that never shipped; 1 when the
// marks could not be written.
int runFleetResendCommand(const std::vector<std::string>& arguments);

}  // namespace tev::app
