// Paths that must neither hang, exhaust memory nor open a file other than the one named.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "file_io.h"

namespace vexolin {
namespace {

const std::string kData = VEXOLIN_TEST_DATA;

std::string error_of(const std::string& path) {
  auto r = read_file(path);
  if (r.ok()) return "(read " + std::to_string(r.value().size()) + " bytes)";
  EXPECT_EQ(r.error().variant(), SimError::Variant::Io);
  return r.error().display();
}

TEST(ReadFile, RefusesPathsThatNameNoReadableFile) {
  EXPECT_EQ(error_of(kData + "/no_such_file"), "No such file or directory");
  EXPECT_EQ(error_of(kData), "Is a directory");
  // Cut at the NUL, the path would name an existing file.
  EXPECT_EQ(error_of(kData + "/yosys_small.json" + std::string(1, '\0') + "x"), "Invalid argument");
  EXPECT_EQ(error_of("/dev/zero"), "Invalid argument");
}

TEST(ReadFile, AFifoWithoutWriterReadsAsEmpty) {
  const std::string fifo = ::testing::TempDir() + "vexolin_fifo_" + std::to_string(::getpid());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto r = read_file(fifo);
  std::remove(fifo.c_str());
  ASSERT_TRUE(r.ok()) << r.error().display();
  EXPECT_EQ(r.value(), "");
}

TEST(ReadFile, ReadsAPipeWithAWriter) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ASSERT_EQ(::write(fds[1], "{}", 2), 2);
  ::close(fds[1]);
  auto r = read_file("/proc/self/fd/" + std::to_string(fds[0]));
  ::close(fds[0]);
  ASSERT_TRUE(r.ok()) << r.error().display();
  EXPECT_EQ(r.value(), "{}");
}

}  // namespace
}  // namespace vexolin
