// Audio discs made at test time: a cue sheet and its bin file, each track a
// tone of its own.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

inline constexpr int Rate = 44100;
inline constexpr double Pi = 3.14159265358979323846;

// Track t sounds at 300 + 60 t Hz: a whole number of periods in a window,
// so the tones of different tracks do not leak into each other.
inline double toneOf(int t) { return 300.0 + 60.0 * t; }

struct TrackPlan {
  int tone;     // which tone it carries
  int sectors;  // 75 a second
  bool data = false;
};

inline std::string cueTime(int sector) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", sector / 4500, sector / 75 % 60, sector % 75);
  return buffer;
}

// Writes name.cue and name.bin; a data track carries a tone as well, so that
// playing it would be heard.
inline std::string writeDisc(const std::filesystem::path &dir, const std::string &name,
                      const std::vector<TrackPlan> &tracks) {
  std::ofstream bin(dir / (name + ".bin"), std::ios::binary);
  std::ofstream cue(dir / (name + ".cue"));
  cue << "FILE \"" << name << ".bin\" BINARY\n";
  int sector = 0;
  for (size_t i = 0; i < tracks.size(); ++i) {
    char number[16];
    std::snprintf(number, sizeof number, "%02d", int(i + 1));
    cue << "  TRACK " << number << (tracks[i].data ? " MODE1/2352" : " AUDIO") << "\n"
        << "    INDEX 01 " << cueTime(sector) << "\n";
    const int samples = tracks[i].sectors * 588;
    std::vector<int16_t> pcm(size_t(samples) * 2);
    for (int s = 0; s < samples; ++s) {
      const auto v = int16_t(std::lround(9000.0 * std::sin(2.0 * Pi * toneOf(tracks[i].tone) * s / Rate + 0.4)));
      pcm[size_t(s) * 2] = pcm[size_t(s) * 2 + 1] = v;
    }
    bin.write(reinterpret_cast<const char *>(pcm.data()), std::streamsize(pcm.size() * 2));
    sector += tracks[i].sectors;
  }
  return (dir / (name + ".cue")).string();
}

inline std::vector<TrackPlan> toneDisc(int tracks, int sectors) {
  std::vector<TrackPlan> d;
  for (int t = 1; t <= tracks; ++t) d.push_back({t, sectors});
  return d;
}

inline constexpr int Window = Rate / 30; // the unit we listen in: a frame at 30 a second

// Which track's tone fills each window: 0 for silence, -1 for anything else.
inline std::vector<int> listen(const std::vector<int16_t> &pcm, int candidates) {
  std::vector<int> heard;
  for (size_t start = 0; start + Window <= pcm.size(); start += Window) {
    double energy = 0;
    for (int i = 0; i < Window; ++i) energy += double(pcm[start + i]) * pcm[start + i];
    if (energy / Window < 100.0) {
      heard.push_back(energy == 0 ? 0 : -1);
      continue;
    }
    int best = -1;
    double bestPower = 0;
    for (int t = 1; t <= candidates; ++t) {
      // Goertzel: the power of one frequency.
      const double c = 2.0 * std::cos(2.0 * Pi * toneOf(t) / Rate);
      double s1 = 0, s2 = 0;
      for (int i = 0; i < Window; ++i) {
        const double s0 = pcm[start + i] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
      }
      const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
      if (power > bestPower) {
        bestPower = power;
        best = t;
      }
    }
    // A clean tone holds nearly all the window's energy.
    heard.push_back(bestPower / (energy * Window / 2.0) > 0.9 ? best : -1);
  }
  return heard;
}

