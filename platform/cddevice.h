// The CD-audio device behind a window's media player, and the completion
// notices that drive the next track.
//
// A host installs a maker of devices (a drive or a disc image played through
// the sound output); a test installs a fake. A device may finish a play on
// any thread: its notice is queued and handed to the player's window on the
// thread that runs the window's events, when the host's message processing
// calls deliverCdNotices(). So a notice never arrives in the middle of
// starting or stopping playback.
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

// The system's CD drives, by the names a device opens them with, in the
// system's order. A host installs its lister; a test installs a fake.
using CdDriveLister = std::function<std::vector<std::string>()>;
void setCdDriveLister(CdDriveLister lister);
// The drives the installed lister names; none without a lister.
std::vector<std::string> cdDriveNames();

// A window's CD-audio player: the device it opens, and the window's handler
// for completion notices.
class MediaPlayer {
public:
  MediaPlayer(bool shareable, void (*notify)());
  ~MediaPlayer();
  MediaPlayer(const MediaPlayer &) = delete;
  MediaPlayer &operator=(const MediaPlayer &) = delete;

  // Opens a device through the host's maker; false on any failure (the
  // player is then closed).
  bool open(const std::string &deviceName);
  bool isOpen() const { return device_ != nullptr; }
  // The device's operations; on a closed player they fail and give 0.
  bool rewind();
  int position();
  int tracks();
  bool isAudioTrack(int track);
  bool play(int from, int to);
  bool stop();
  // Closes the device; its notices not yet delivered are dropped.
  bool close();

private:
  friend void deliverCdNotices();
  bool shareable_;
  void (*notify_)();
  std::unique_ptr<CdDevice> device_;
};

// Hands every queued completion notice to its player's handler. Called by the
// host's message processing, on the thread that runs the windows.
void deliverCdNotices();

// Closes the devices of every player (the end of a run).
void closeAllCdDevices();
