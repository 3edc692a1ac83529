// The drive list: one entry per drive, however many names lead to it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "hosts/linux/cddrives.h"

namespace {

TEST(CdDrives, NamesLeadingToTheSameDriveAreListedOnce) {
  char pattern[] = "/tmp/lvdrivesXXXXXX";
  const std::filesystem::path dir = mkdtemp(pattern);
  const std::string sr0 = (dir / "sr0").string(), sr1 = (dir / "sr1").string();
  const std::string cdrom = (dir / "cdrom").string(), dvd = (dir / "dvd").string();
  std::ofstream(sr0).put('x');
  std::ofstream(sr1).put('x');
  std::filesystem::create_symlink("sr0", cdrom);
  std::filesystem::create_symlink(cdrom, dvd);     // a link to a link
  const std::string gone = (dir / "sr9").string(); // listed, but not there now

  EXPECT_EQ(distinctDrives({cdrom, sr0, dvd, sr1, gone, gone, ""}),
            (std::vector<std::string>{cdrom, sr1, gone}));
  std::filesystem::remove_all(dir);
}

} // namespace
