#pragma once

class QSaveFile;

// Commits a save file only when every byte written to it reached the disk. The last bytes
// of a file stay in the device's buffer until it closes, and QSaveFile::commit() puts the
// file in place even when writing them fails (a full disk), so a cut-off file would appear
// under the final name. Flushing first makes that failure visible; the file is then
// discarded. Returns whether the file is in place.
bool commit_save_file(QSaveFile &file);
