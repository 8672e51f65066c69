#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace vexolin {

namespace {

SimError os_error(int err) {
  return SimError::io(std::strerror(err));
}

}  // namespace

Result<std::string> read_file(const std::string& path, std::size_t padding) {
  // The system would stop at the first NUL and open some other file.
  if (path.find('\0') != std::string::npos) return os_error(EINVAL);
  // Non-blocking, so that a FIFO without a writer cannot hold the open forever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return os_error(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    return os_error(err);
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    return os_error(EISDIR);
  }
  // A device such as /dev/zero never ends; only files and pipes are read.
  if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode)) {
    ::close(fd);
    return os_error(EINVAL);
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
    const int err = errno;
    ::close(fd);
    return os_error(err);
  }
  std::string data;
  // A regular file is read at its stated size plus one byte, so that the read which sees the
  // end needs no growth; pipes and special files grow by doubling.
  const std::size_t want =
      S_ISREG(st.st_mode) ? static_cast<std::size_t>(st.st_size) + 1 : std::size_t(65536);
  data.reserve(want + padding);
  data.resize(want);
  std::size_t have = 0;
  for (;;) {
    if (have == data.size()) data.resize(data.size() * 2);
    const ssize_t got = ::read(fd, data.data() + have, data.size() - have);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      return os_error(err);
    }
    if (got == 0) break;
    have += static_cast<std::size_t>(got);
  }
  ::close(fd);
  data.resize(have);
  if (data.capacity() < have + padding) data.reserve(have + padding);
  return data;
}

bool is_valid_utf8(std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t len;
    std::uint32_t cp;
    if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > n) return false;
    for (std::size_t k = 1; k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and code points beyond U+10FFFF are not UTF-8.
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
        cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += len;
  }
  return true;
}

}  // namespace vexolin
