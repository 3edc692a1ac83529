// Disc images read by the program itself: hostile ones are refused at once
// (never a crash, never a wait), and good ones are laid out as disc tools
// lay them out.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "discimage.h"
#include "hosts/linux/disc.h"
#include "hosts/linux/discimage.h"

namespace {

class DiscImageTest : public ::testing::Test {
protected:
  std::filesystem::path dir;
  void SetUp() override {
    char pattern[] = "/tmp/lvdiscimageXXXXXX";
    dir = mkdtemp(pattern);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string file(const std::string &name, const std::string &bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
    return (dir / name).string();
  }

  // Opens `name` on a thread of its own: whether it opened, or nothing when
  // the open did not come back within the time limit.
  static std::optional<bool> openWithin(const std::string &name) {
    auto opened = std::make_shared<std::promise<bool>>();
    std::future<bool> result = opened->get_future();
    std::thread([name, opened] {
      Disc disc;
      opened->set_value(disc.open(name));
    }).detach();
    if (result.wait_for(std::chrono::seconds(20)) != std::future_status::ready) return std::nullopt;
    return result.get();
  }
};

std::string nrgWithFooter(const std::string &body, const char *magic, uint64_t tableAt) {
  std::string out = body + magic;
  putBe(out, tableAt, std::string(magic) == "NER5" ? 8 : 4);
  return out;
}

TEST_F(DiscImageTest, HostileImagesAreRefusedAtOnce) {
  const std::string bin = file("t.bin", std::string(75 * 2352, '\1'));
  ASSERT_EQ(mkfifo((dir / "pipe.bin").c_str(), 0600), 0);
  std::filesystem::create_directory(dir / "folder.bin");
  std::vector<std::string> names;

  std::string many = "CD_DA\n";
  for (int i = 0; i < 150; ++i) many += "TRACK AUDIO\nFILE \"" + bin + "\" 0 00:00:01\n";
  names.push_back(file("many.toc", many));
  std::string manyCue = "FILE \"t.bin\" BINARY\n";
  for (int i = 0; i < 150; ++i) manyCue += "TRACK 01 AUDIO\nINDEX 01 00:00:00\n";
  names.push_back(file("many.cue", manyCue));
  // Numbers past anything a disc holds.
  names.push_back(file("huge.cue", "FILE \"t.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 99999:00:00\n"));
  names.push_back(file("digits.toc", "TRACK AUDIO\nFILE \"t.bin\" 0 99999999999999999999999999\n"));
  names.push_back(file("long.toc", "TRACK AUDIO\nFILE \"t.bin\" #999999999999999 0 4000000000000\n"));
  names.push_back(file("silence.toc", "TRACK AUDIO\nSILENCE 99:59:74\nSILENCE 99:59:74\n"));
  names.push_back(file("open.toc", "TRACK AUDIO\nCD_TEXT { LANGUAGE 0 { TITLE \"never closed\" \n"));
  // Nero footers pointing anywhere.
  std::string cuex = nrgChunk("CUEX", std::string(8, '\0'));
  cuex.replace(4, 4, std::string("\x7F\xFF\xFF\xF8", 4));
  names.push_back(file("huge-chunk.nrg", nrgWithFooter(cuex + std::string(192, '\0'), "NER5", 0)));
  names.push_back(file("past-end.nrg", nrgWithFooter(std::string(200, '\x07'), "NERO", 0xFFFFFFF0)));
  names.push_back(file("itself.nrg", nrgWithFooter(std::string(200, '\0'), "NER5", 200)));
  names.push_back(file("nothing.nrg", nrgWithFooter("", "NER5", 0)));
  std::string daox(22, '\0');
  daox += std::string(12, '\0') + std::string("\x09\x30\x07\0\0\0", 6);
  putBe(daox, 0, 8);
  putBe(daox, 0, 8);
  putBe(daox, uint64_t(1) << 62, 8);
  names.push_back(
      file("far.nrg", nrgWithFooter(std::string(2352, '\0') + nrgChunk("DAOX", daox), "NER5", 2352)));
  std::string etn2;
  putBe(etn2, 16, 8);
  putBe(etn2, ~uint64_t(0), 8); // a size that wraps around
  putBe(etn2, 7, 4);
  putBe(etn2, 0, 4);
  putBe(etn2, 0, 8);
  names.push_back(file("wrap.nrg", nrgWithFooter(nrgChunk("ETN2", etn2), "NER5", 0)));
  // Data files that are no regular files: a pipe (opening it to read would
  // wait for a writer), a folder, a device node.
  names.push_back(file("pipe.cue", "FILE \"pipe.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"));
  names.push_back(file("pipe.toc", "TRACK MODE1\nDATAFILE \"pipe.bin\"\nTRACK AUDIO\nFILE \"t.bin\" 0\n"));
  names.push_back(file("fifo.toc", "TRACK AUDIO\nFIFO \"pipe.bin\" 00:10:00\n"));
  names.push_back(file("folder.cue", "FILE \"folder.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"));
  if (mknod((dir / "null.bin").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0 &&
      mknod((dir / "null.toc").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
    names.push_back(file("device.cue", "FILE \"null.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"));
    names.push_back((dir / "null.toc").string());
  } else {
    std::printf("device nodes cannot be made here: those cases are skipped\n");
  }
  for (const std::string &name : names) EXPECT_EQ(openWithin(name), std::optional<bool>(false)) << name;

  // The same data file in a sound image plays.
  EXPECT_EQ(openWithin(file("good.toc", "TRACK AUDIO\nFILE \"t.bin\" 0\n")), std::optional<bool>(true));
}

// A pure parse, with data files of the given sizes.
DiscImage parsed(DiscImageKind kind, const std::string &text, const std::map<std::string, uint64_t> &sizes) {
  DiscImage disc;
  std::string error;
  EXPECT_TRUE(parseDiscImage(
      kind, text, text.size(), "/images/x",
      [&](const std::string &path) -> std::optional<uint64_t> {
        auto it = sizes.find(path);
        return it == sizes.end() ? std::nullopt : std::optional<uint64_t>(it->second);
      },
      disc, error))
      << error;
  return disc;
}

std::vector<std::vector<int>> table(const DiscImage &disc) {
  std::vector<std::vector<int>> t;
  for (const ImageTrack &track : disc.tracks) t.push_back({track.audio, track.first, track.last});
  return t;
}

TEST(DiscImageLayout, CueSheetGapsIndexesAndSeveralFiles) {
  const DiscImage disc = parsed(DiscImageKind::Cue,
                                "FILE \"a.bin\" BINARY\n"
                                "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                "  TRACK 02 MODE1/2048\n    INDEX 01 00:00:40\n    POSTGAP 00:00:10\n"
                                "FILE \"../b b.bin\" MOTOROLA\n"
                                "  TRACK 03 AUDIO\n    PREGAP 00:02:00\n    INDEX 01 00:00:00\n"
                                "  TRACK 04 AUDIO\n    INDEX 00 00:00:20\n    INDEX 01 00:00:25\n",
                                {{"/images/a.bin", 100 * 2352}, {"/images/../b b.bin", 50 * 2352}});
  // Track 2 holds the rest of a.bin in 2048-byte sectors (69, the last one
  // short), then 10 sectors of gap; track 3 starts after 150 of silence; the
  // pregap of track 4 (in b.bin) ends track 3. Track 1 ends before the data
  // track's own gap.
  EXPECT_EQ(table(disc),
            (std::vector<std::vector<int>>{{1, 0, 39}, {0, 40, 268}, {1, 269, 293}, {1, 294, 318}}));
  EXPECT_EQ(disc.sectors, 319);
  // Track 4 is read from its own place in b.bin, byte-swapped.
  uint8_t sector[2352];
  std::vector<uint64_t> asked;
  ASSERT_TRUE(
      readImageSectors(disc, 294, 1, sector, [&](uint32_t file, uint64_t offset, uint8_t *out, size_t bytes) {
        EXPECT_EQ(disc.files[file], "/images/../b b.bin");
        asked.push_back(offset);
        for (size_t i = 0; i < bytes; ++i) out[i] = uint8_t(offset + i);
        return int64_t(bytes);
      }));
  EXPECT_EQ(asked, std::vector<uint64_t>{25 * 2352});
  EXPECT_EQ(sector[0], uint8_t(25 * 2352 + 1));
  EXPECT_EQ(sector[1], uint8_t(25 * 2352));
}

TEST(DiscImageLayout, TocTracksOfPiecesAndPregaps) {
  const DiscImage disc =
      parsed(DiscImageKind::Toc,
             "CD_ROM\nCATALOG \"0123456789012\"\n"
             "TRACK AUDIO\nISRC \"ABCDE1234567\"\nFILE \"/raw/a.raw\" 0 01:00:00 // a minute\n"
             "TRACK AUDIO\nPREGAP 00:00:10\nAUDIOFILE \"a.raw\" SWAP #100 00:01:00 1000\nINDEX 00:00:01\n"
             "TRACK MODE1\nZERO 00:02:00\nSTART\nDATAFILE \"d.iso\"\n"
             "TRACK AUDIO\nSILENCE 588\nSTART\nFILE \"/raw/a.raw\" 0\n",
             {{"/raw/a.raw", 5 * 2352}, {"/images/a.raw", 1000000}, {"/images/d.iso", 3 * 2048 + 1}});
  // Track 2: 10 sectors of pregap and 1000 samples (two sectors, the last
  // padded). Track 3: a 150-sector pregap and 4 sectors of data. Track 4: one
  // sector of pregap and the whole of a.raw.
  EXPECT_EQ(table(disc),
            (std::vector<std::vector<int>>{{1, 0, 4509}, {1, 4510, 4511}, {0, 4662, 4666}, {1, 4667, 4671}}));
  ASSERT_EQ(disc.extents.size(), 3u);
  EXPECT_EQ(disc.extents[1].offset, 100u + 75 * 2352);
  EXPECT_FALSE(disc.extents[1].bigEndian); // swapped: little-endian
  EXPECT_TRUE(disc.extents[2].bigEndian);
}

} // namespace
