// Settings files that hold nothing but blank lines, and settings paths that
// are no files at all.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "registry/registrystore.h"
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

    setRegistryFilePath(file); // forget what was read: read the file again
    AstrelConfiguration b;
    b.load();
    EXPECT_EQ(b.MainStars, 350);
    EXPECT_TRUE(sink.messages.empty()) << sink.messages.front().text;
    sink.messages.clear();
  }
}

} // namespace

namespace {

// A named pipe in place of the settings file is refused at once (the program
// goes on with its defaults) rather than waiting for something to write to it.
TEST_F(RegistryBlankFile, ANamedPipeIsRefusedWithoutWaiting) {
  ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(10); // a read that waits for a writer ends here
    setRegistryFilePath(file);
    AstrelConfiguration a;
    a.load();
    _exit(a.MainStars != 200 ? 1 : sink.messages.empty() ? 2 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "the load did not return";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
