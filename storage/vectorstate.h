#pragma once

// Clears the upper halves of the processor's AVX registers, where it has them. Library code run
// on the same thread (Qt's, here) can leave them dirty, and until they are cleared every SSE
// instruction of code built without AVX (SQLite's, ours) waits to merge them: bulk inserts ran
// about 1.5 times slower. Cheap (one instruction); call before a long stretch of such code.
void clear_upper_vector_state();
