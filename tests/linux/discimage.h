// Audio discs made at test time: a cue sheet and its bin file, or an image of
// another form, each track a tone of its own.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

inline constexpr int Rate = 44100;
inline constexpr double Pi = 3.14159265358979323846;

// Track t sounds at 300 + 60 t Hz: a whole number of periods in a window,
// so the tones of different tracks do not leak into each other.
inline double toneOf(int t) { return 300.0 + 60.0 * t; }

struct TrackPlan {
  int tone;    // which tone it carries
  int sectors; // 75 a second
  bool data = false;
};

inline std::string cueTime(int sector) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", sector / 4500, sector / 75 % 60, sector % 75);
  return buffer;
}

// A track's sound as little-endian 16-bit stereo bytes.
inline std::string trackBytes(const TrackPlan &t) {
  const int samples = t.sectors * 588;
  std::string bytes(size_t(samples) * 4, '\0');
  for (int s = 0; s < samples; ++s) {
    const auto v = uint16_t(std::lround(9000.0 * std::sin(2.0 * Pi * toneOf(t.tone) * s / Rate + 0.4)));
    for (int c = 0; c < 2; ++c) {
      bytes[size_t(s) * 4 + size_t(c) * 2] = char(v & 0xFF);
      bytes[size_t(s) * 4 + size_t(c) * 2 + 1] = char(v >> 8);
    }
  }
  return bytes;
}

inline std::string swapped(std::string bytes) {
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
  return bytes;
}

inline std::string trackNumber(size_t i) {
  char number[16];
  std::snprintf(number, sizeof number, "%02d", int(i + 1));
  return number;
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
    cue << "  TRACK " << trackNumber(i) << (tracks[i].data ? " MODE1/2352" : " AUDIO") << "\n"
        << "    INDEX 01 " << cueTime(sector) << "\n";
    bin << trackBytes(tracks[i]);
    sector += tracks[i].sectors;
  }
  return (dir / (name + ".cue")).string();
}

// The forms of disc image the program plays.
enum class ImageForm {
  Cue,         // a little-endian bin whose name is not the cue sheet's
  CueMotorola, // a big-endian bin
  CueCdg,      // audio tracks with 96 bytes of subchannel data after each sector
  Toc,         // cdrdao: a big-endian raw file in a folder below
  TocSwap,     // cdrdao: a little-endian raw file, SWAP
  NrgDao,      // Nero, NER5 footer, disc at once
  NrgTao,      // Nero, NERO footer, track at once
};

inline void putBe(std::string &out, uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out += char((v >> (8 * i)) & 0xFF);
}

inline std::string nrgChunk(const std::string &id, const std::string &data) {
  std::string c = id;
  putBe(c, data.size(), 4);
  return c + data;
}

// Writes `tracks` as an image of the given form named `name` in `dir`; the
// image's path.
inline std::string writeImage(const std::filesystem::path &dir, const std::string &name,
                              const std::vector<TrackPlan> &tracks, ImageForm form) {
  std::string data;
  std::vector<std::pair<uint64_t, uint64_t>> at; // each track's byte offset and size
  for (const TrackPlan &t : tracks) {
    std::string bytes = trackBytes(t);
    const bool bigEndian = form == ImageForm::CueMotorola || form == ImageForm::Toc;
    if (bigEndian && !t.data) bytes = swapped(bytes);
    if (form == ImageForm::CueCdg && !t.data) {
      std::string cdg;
      for (size_t s = 0; s < bytes.size(); s += 2352) cdg += bytes.substr(s, 2352) + std::string(96, '\x55');
      bytes = cdg;
    }
    at.push_back({data.size(), bytes.size()});
    data += bytes;
  }
  auto write = [](const std::filesystem::path &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  };
  switch (form) {
  case ImageForm::Cue:
  case ImageForm::CueMotorola:
  case ImageForm::CueCdg: {
    const std::string bin = name + " (Track 1).bin";
    write(dir / bin, data);
    std::string cue = "REM made by a test\r\nFILE \"" + bin + "\" " +
                      (form == ImageForm::CueMotorola ? "MOTOROLA" : "BINARY") + "\r\n";
    int sector = 0;
    for (size_t i = 0; i < tracks.size(); ++i) {
      const char *type = tracks[i].data ? "MODE1/2352" : form == ImageForm::CueCdg ? "CDG" : "AUDIO";
      cue += "  TRACK " + trackNumber(i) + " " + type + "\r\n    INDEX 01 " + cueTime(sector) + "\r\n";
      sector += tracks[i].sectors;
    }
    return write(dir / (name + ".cue"), cue);
  }
  case ImageForm::Toc:
  case ImageForm::TocSwap: {
    std::filesystem::create_directories(dir / "raw");
    const std::string raw = "raw/" + name + " data.raw";
    write(dir / raw, data);
    std::string toc = "CD_ROM\n// made by a test\nCD_TEXT {\n  LANGUAGE_MAP { 0 : EN }\n  LANGUAGE 0 { TITLE "
                      "\"Tones\" }\n}\n";
    for (size_t i = 0; i < tracks.size(); ++i) {
      if (tracks[i].data) {
        toc += "TRACK MODE1_RAW\nDATAFILE \"" + raw + "\" #" + std::to_string(at[i].first) + " " +
               cueTime(tracks[i].sectors) + "\n";
      } else {
        toc += "TRACK AUDIO\nNO COPY\nFILE \"" + raw + "\" " + (form == ImageForm::TocSwap ? "SWAP " : "") +
               std::to_string(at[i].first / 4) + " " + cueTime(tracks[i].sectors) + "\n";
      }
    }
    return write(dir / (name + ".toc"), toc);
  }
  case ImageForm::NrgDao:
  case ImageForm::NrgTao: {
    const bool dao = form == ImageForm::NrgDao;
    std::string table;
    if (dao) {
      std::string daox(22, '\0');
      for (size_t i = 0; i < tracks.size(); ++i) {
        daox += std::string(12, '\0'); // ISRC
        putBe(daox, 2352, 2);
        daox += char(tracks[i].data ? 0x05 : 0x07);
        daox += std::string(3, '\0');
        putBe(daox, at[i].first, 8); // pregap
        putBe(daox, at[i].first, 8); // index 1
        putBe(daox, at[i].first + at[i].second, 8);
      }
      table = nrgChunk("CUEX", std::string(16, '\0')) + nrgChunk("DAOX", daox);
    } else {
      std::string etnf;
      for (size_t i = 0; i < tracks.size(); ++i) {
        putBe(etnf, at[i].first, 4);
        putBe(etnf, at[i].second, 4);
        putBe(etnf, tracks[i].data ? 0x05 : 0x07, 4);
        putBe(etnf, at[i].first / 2352, 4);
        putBe(etnf, 0, 4);
      }
      table = nrgChunk("ETNF", etnf);
    }
    std::string sinf;
    putBe(sinf, tracks.size(), 4);
    table += nrgChunk("SINF", sinf) + nrgChunk("MTYP", std::string("\0\0\0\x01", 4)) + nrgChunk("END!", "");
    const uint64_t tableAt = data.size();
    data += table + (dao ? "NER5" : "NERO");
    putBe(data, tableAt, dao ? 8 : 4);
    return write(dir / (name + ".nrg"), data);
  }
  }
  return {};
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
