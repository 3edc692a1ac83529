// A file the program writes where the user asked for it (a picture, the
// sound, a dumped resource). A regular file is written under a temporary name
// beside it, PATH.tmp, made afresh so that it can never be a link someone
// planted there, and takes its name only once it is complete: an interrupted
// run never leaves half a file under the name, and nothing but the name itself
// is ever replaced (a symbolic link there is replaced, not followed). A folder,
// a socket or a disk is never written; a character device or a named pipe is
// written into as it is, as a stream, where the caller allows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class OutputFile {
public:
  OutputFile() = default;
  ~OutputFile() { discard(); }
  OutputFile(const OutputFile &) = delete;
  OutputFile &operator=(const OutputFile &) = delete;

  // Starts `path`. With `mayStream`, a character device, a named pipe (which
  // someone must already read) or an open file named through /proc (such as
  // /dev/stdout) is written into directly; without it they are refused. False
  // when it cannot be written, error() naming the path and the reason.
  bool open(const std::string &path, bool mayStream);
  bool isOpen() const { return fd_ >= 0; }
  // Written into directly: no temporary, no rename, no going back.
  bool streaming() const { return streaming_; }
  const std::string &path() const { return path_; }

  // Appends bytes; they reach the file when the buffer fills or at flush.
  // After the first failure every call fails, and error() tells why.
  bool write(const void *data, size_t size);
  bool flush();
  // Overwrites bytes already written (a header completed last); not on a stream.
  bool writeAt(uint64_t offset, const void *data, size_t size);
  const std::string &error() const { return error_; }

  // Writes out the rest, closes the file and gives it its name; false with
  // error() set, and the temporary removed, when any of it failed.
  bool commit();
  // Closes the file; a temporary is removed, the name keeps what it had.
  void discard();

private:
  bool fail(const std::string &what, int code);
  void closeFd();

  int fd_ = -1;
  bool streaming_ = false;
  std::string path_, temporary_, error_;
  std::vector<unsigned char> buffer_;
};
