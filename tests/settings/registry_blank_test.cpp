// Settings files that hold nothing but blank lines.
#include "registry_fixture.h"
#include "settings/configuration.h"

namespace {

class RegistryBlankFile : public RegistryFileTest {};

// Blank lines are an empty registry; a save writes the header on a line of its
// own after them, whatever line ending the last blank line had, and the saved
// values read back.
TEST_F(RegistryBlankFile, ASaveOverBlankLinesReadsBack) {
  for (const char *blank : {"\r", "\n\r", "\r\n\r", " \t\r", "\n", ""}) {
    SCOPED_TRACE(testing::PrintToString(std::string(blank)));
    writeFile(blank);
    AstrelConfiguration a;
    a.load();
    EXPECT_EQ(a.MainStars, 200);
    a.MainStars = 350;
    a.save();

    setRegistryFilePath(file);  // forget what was read: read the file again
    AstrelConfiguration b;
    b.load();
    EXPECT_EQ(b.MainStars, 350);
    EXPECT_TRUE(sink.messages.empty()) << sink.messages.front().text;
    sink.messages.clear();
  }
}

}  // namespace
