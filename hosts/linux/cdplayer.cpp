#include "hosts/linux/cdplayer.h"

#include <atomic>
#include <memory>

#include "hosts/linux/cdstream.h"
#include "hosts/linux/disc.h"
#include "hosts/linux/pulseoutput.h"
#include "hosts/linux/wavoutput.h"
#include "cdaudio/mediaplayer.h"
#include "platform/ticks.h"

namespace {

// The file the clocked sound goes to, when there is one.
WavOutput Wav;
double WavStart = 0.0;

class LinuxCdDevice : public CdDevice {
public:
  LinuxCdDevice(std::function<void()> completed, bool toFile)
      : completed_(std::move(completed)), toFile_(toFile) {}
  ~LinuxCdDevice() override { close(); }

  bool open(const std::string &name, bool) override {
    // A drive is only read: other programs may use it at the same time.
    close();
    if (!disc_->open(name)) return false;
    stream_ = std::make_unique<CdStream>(disc_, !toFile_, [this] { ended(); });
    if (toFile_) {
      if (!Wav.isOpen()) {
        close();
        return false;
      }
      Wav.attach(stream_.get());
    } else {
      pulse_ = std::make_unique<PulseOutput>();
      if (!pulse_->open(stream_.get())) {
        close();
        return false;
      }
    }
    position_ = 1;
    return true;
  }

  bool rewind() override {
    if (!stream_) return false;
    position_ = 1;
    return true;
  }

  int position() override { return stream_ ? position_ : 0; }
  int tracks() override { return stream_ ? disc_->tracks() : 0; }
  bool isAudioTrack(int track) override { return stream_ && disc_->isAudio(track); }

  bool play(int from, int to) override {
    const int n = disc_->tracks();
    if (!stream_ || from < 1 || from > n || (to != 0 && (to <= from || to > n))) return false;
    const int32_t first = disc_->firstSector(from);
    // Up to the start of `to`: through the end of the track before it, so a
    // session gap before a data track is never played.
    const int32_t last = disc_->lastSector(to ? to - 1 : n);
    playing_ = true;
    stream_->start(first, last);
    if (pulse_) pulse_->play();
    position_ = from;
    return true;
  }

  bool stop() override {
    if (!stream_) return false;
    stream_->stop();
    if (pulse_) pulse_->silence();
    // The play in progress ends here, and says so like one that ran out.
    if (playing_) {
      playing_ = false;
      completed_();
    }
    return true;
  }

  bool close() override {
    if (pulse_) pulse_->close();
    pulse_.reset();
    if (stream_ && Wav.attached() == stream_.get()) Wav.attach(nullptr);
    stream_.reset();
    // A read stuck in a drive keeps the old disc until it returns.
    disc_ = std::make_shared<Disc>();
    playing_ = false;
    return true;
  }

private:
  // On the output's thread when the range has been taken in full.
  void ended() {
    playing_ = false;
    completed_();
  }

  std::function<void()> completed_;
  const bool toFile_;
  std::shared_ptr<Disc> disc_ = std::make_shared<Disc>();
  std::unique_ptr<CdStream> stream_;
  std::unique_ptr<PulseOutput> pulse_;
  int position_ = 0;
  std::atomic<bool> playing_{false};
};

} // namespace

void useSoundServerForCd() {
  setCdDeviceMaker([](std::function<void()> completed) -> std::unique_ptr<CdDevice> {
    return std::make_unique<LinuxCdDevice>(std::move(completed), false);
  });
}

bool useWavFileForCd(const std::string &path, std::string &error) {
  std::string ignored;
  Wav.finish(ignored);
  if (!Wav.open(path, error)) return false;
  WavStart = tickSeconds();
  setCdDeviceMaker([](std::function<void()> completed) -> std::unique_ptr<CdDevice> {
    return std::make_unique<LinuxCdDevice>(std::move(completed), true);
  });
  return true;
}

bool followClockWithCdAudio() { return !Wav.isOpen() || Wav.advanceTo(tickSeconds() - WavStart); }

bool finishCdAudio(std::string &error) {
  closeAllCdDevices();
  setCdDeviceMaker(nullptr);
  return Wav.finish(error);
}
