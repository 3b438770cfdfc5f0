#pragma once
// A command cut short by the user or the system (Ctrl-C, SIGTERM, SIGHUP, the console window
// closed): the operation on the line is stopped cleanly and the command says what it had done.

#include "cli/Tool.h"

#include <string>

namespace imconf::cli {

// Thrown out of the tool's loop through the command to main(). Not a std::exception: the
// tool's loop reports those as the window's general errors and goes on.
struct Interrupted {
    std::string report;
};

// Lets the transaction in flight end as it would (its reply or its time-out: no request is cut
// in half and a reply is not lost), then stops the running operation and lets go of the port
// and its marks. Returns what had reached the module, in words. `run` runs the loop.
std::string StopOnInterrupt(Tool& tool, const RunLoop& run);

// Runs `readBack`, the read that checks a write that had ended; an interrupt during it says the
// configuration had reached the module and was not compared, not that the module was unchanged.
template <typename ReadBack>
auto InterruptibleReadBack(ReadBack&& readBack)
{
    try {
        return readBack();
    } catch (Interrupted& interrupted) {
        interrupted.report = "interrupted: the write had ended: the whole configuration reached "
                             "the module; its read-back stopped, so it was not compared";
        throw;
    }
}

}  // namespace imconf::cli
