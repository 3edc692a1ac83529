// The CD-audio device on Linux: a drive or a disc image read through
// libcdio, heard through the desktop's sound server, or written to a WAV
// file that follows the program's clock (headless runs and tests).
#pragma once

#include <string>

// From now on CD devices play through the sound server.
void useSoundServerForCd();
// From now on CD devices play into `path`, a WAV file that follows the
// program's clock from this moment (a device or a named pipe is written
// into as a stream); false with a message when it cannot be written.
bool useWavFileForCd(const std::string &path, std::string &error);
// Writes what was heard up to the clock's present time into the WAV file.
// A host calls it once for each step of its clock; it does nothing when
// the sound goes to the sound server. False once the file cannot be written:
// the run should end there, and finishCdAudio says why.
bool followClockWithCdAudio();
// Closes every CD device and completes the WAV file; false with a message
// when the file could not be written in full.
bool finishCdAudio(std::string &error);
