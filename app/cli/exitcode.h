#pragma once

// What telvane-cli's exit status means; scripts rely on these numbers.
enum ExitCode : int {
    ExitOk = 0,            // done; for record: the run was recorded completely, files written
    ExitFailure = 1,       // a file, the database or the port could not be used, or the CSV
                           // could not be written completely
    ExitBadArguments = 2,  // refused before anything was sent to the instrument (also an
                           // option given twice, a CSV over the database)
    ExitNoStatusReply = 3, // the instrument gave no valid status reply within 2 s
    ExitPortLost = 4,      // the serial port went away during the run; stored rows are kept
    ExitIncomplete = 5,    // the run ended without the instrument's end frame, or lost samples
};
