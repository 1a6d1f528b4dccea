#pragma once

// What telvane-cli's exit status means; scripts rely on these numbers.
enum ExitCode : int {
    ExitOk = 0,            // done; for record: the run was recorded completely, or stopped
                           // on request with all it sent stored; files written
    ExitFailure = 1,       // a file, the database or the port could not be used, the CSV
                           // could not be written completely, or a run whose samples stopped
                           // reaching the database was stopped
    ExitBadArguments = 2,  // refused before anything was sent to the instrument (also an
                           // option given twice, a CSV over the database; for record a CSV
                           // that could not be written, a --db that is no database)
    ExitNoStatusReply = 3, // the instrument gave no valid status reply within 2 s
    ExitPortLost = 4,      // the serial port went away during the run; stored rows are kept
    ExitIncomplete = 5,    // the run came short of rate x time samples, went on past its
                           // collection time, ended without the instrument's end frame, lost
                           // samples, or was interrupted before it started
    ExitUnpublished = 6,   // the run is complete, but the broker (--publish) or the server
                           // (--mirror) did not take all its rows within --publish-wait or
                           // --mirror-wait
};

// The worse of two exit codes, for a chain of runs: a failure (1) outweighs a missing status
// reply (3), a lost port (4), an incomplete run (5) and rows left unpublished (6), in that
// order; anything outweighs 0.
inline int worse_exit_code(int a, int b)
{
    const auto weight = [](int code) {
        switch (code) {
        case ExitOk:
            return 0;
        case ExitUnpublished:
            return 1;
        case ExitIncomplete:
            return 2;
        case ExitPortLost:
            return 3;
        case ExitNoStatusReply:
            return 4;
        default:
            return 5;
        }
    };
    return weight(b) > weight(a) ? b : a;
}
