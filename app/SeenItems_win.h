#pragma once
// The seen-items file's one step on Windows, where rename refuses an existing target.
#include <string>

// Flushes From to the disk, then moves it over To (replacing it) and waits until the move
// is on the disk too, so that a crash or power cut leaves the old file or the new one whole.
bool ReplaceFileWriteThrough(const std::string& From, const std::string& To);
