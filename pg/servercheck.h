#pragma once

#include "mirrortarget.h"
#include "status.h"

// Connects to the mirror's server once, before a run, and makes its layout (see
// server_schema): ok when that worked; Invalid, saying why, when the server refuses the
// password, the role or the database, its layout is newer than this program's, or the host is
// unknown; Unavailable when it cannot be reached now (a run may go on and be mirrored later).
// Blocks the calling thread for up to about timeoutSeconds.
Status check_server(const MirrorTarget &target, int timeoutSeconds);
