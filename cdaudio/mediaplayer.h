// A window's CD-audio player and the completion notices that drive the next
// track. A device may finish a play on any thread: its notice is queued and
// handed to the player's window on the thread that runs the window's events,
// when the host's message processing calls deliverCdNotices(). So a notice
// never arrives in the middle of starting or stopping playback.
#pragma once

#include <memory>
#include <string>

#include "platform/cddevice.h"

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
