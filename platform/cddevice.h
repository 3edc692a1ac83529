// The CD-audio device port: a host installs a maker of devices (a drive or a
// disc image played through the sound output) and a lister of the system's
// drives; a test installs fakes. The players that use the devices, and the
// notices that drive the next track, are in cdaudio/mediaplayer.h.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

// One CD-audio device. Tracks are numbered 1 to tracks().
class CdDevice {
public:
  virtual ~CdDevice() = default;
  // Opens the drive or disc image `name` (empty: the system's first CD
  // drive). False when there is no such drive or image, no disc in it, or no
  // sound output to play it through.
  virtual bool open(const std::string &name, bool shareable) = 0;
  // Moves to the start of the disc.
  virtual bool rewind() = 0;
  // The track at the current position (the first track after a rewind).
  virtual int position() = 0;
  virtual int tracks() = 0;
  // Whether the track holds sound (false for data tracks and for numbers
  // outside the disc).
  virtual bool isAudioTrack(int track) = 0;
  // Plays from the start of track `from` to the start of track `to`, or to
  // the end of the disc when `to` is 0. When the range has been heard, or the
  // play is stopped, the device calls the completion it was made with, once.
  // A new play replaces a running one without a completion for the old.
  virtual bool play(int from, int to) = 0;
  virtual bool stop() = 0;
  virtual bool close() = 0;
};

// Makes a device that calls `completed` (from any thread) when a play ends.
using CdDeviceMaker = std::function<std::unique_ptr<CdDevice>(std::function<void()> completed)>;

// The host's maker; without one no device can be opened.
void setCdDeviceMaker(CdDeviceMaker maker);
// The installed maker (empty when none is).
CdDeviceMaker cdDeviceMaker();

// The system's CD drives, by the names a device opens them with, in the
// system's order. A host installs its lister; a test installs a fake.
using CdDriveLister = std::function<std::vector<std::string>()>;
void setCdDriveLister(CdDriveLister lister);
// The drives the installed lister names; none without a lister.
std::vector<std::string> cdDriveNames();
