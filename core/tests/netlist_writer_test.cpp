#include <gtest/gtest.h>

#include <string>

#include "file_io.h"
#include "netlist_wrapper/netlist.h"

namespace vexolin {
namespace {

const std::string kData = VEXOLIN_TEST_DATA;

Netlist read_ok(const std::string& path) {
  auto r = read_netlist(path);
  EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error().display());
  return r.ok() ? std::move(r).value() : Netlist{};
}

TEST(NetlistWriter, MatchesGoldenOutput) {
  // The input leaves out optional fields, reorders and repeats some, gives records as arrays,
  // carries unknown fields and needs escapes.
  auto expected = read_file(kData + "/writer_expected.json");
  ASSERT_TRUE(expected.ok());
  std::string golden = std::move(expected).value();
  while (!golden.empty() && golden.back() == '\n') golden.pop_back();
  EXPECT_EQ(write_netlist_json(read_ok(kData + "/writer_input.json")), golden);
}

TEST(NetlistWriter, RoundTripKeepsEveryRecord) {
  for (const char* file : {"/yosys_small.json", "/writer_input.json"}) {
    SCOPED_TRACE(file);
    const Netlist first = read_ok(kData + file);
    const std::string text = write_netlist_json(first);
    auto again = parse_netlist(text);
    ASSERT_TRUE(again.ok()) << again.error().display();
    EXPECT_EQ(again.value(), first);
    EXPECT_EQ(write_netlist_json(again.value()), text);
  }
}

TEST(NetlistWriter, EscapesStringsAsJsonRequires) {
  Netlist n;
  n.creator = std::string("q\"b\\s/\b\f\n\r\t\x01\x1f\x7f\xC3\xA9") + '\0';
  Module m;
  m.attributes.insert_or_assign("k\"ey", std::string("v"));
  n.modules.insert_or_assign("m", std::move(m));
  const std::string text = write_netlist_json(n);
  EXPECT_EQ(text.substr(0, text.find(",\"modules\"")),
            R"({"creator":"q\"b\\s/\b\f\n\r\t\u0001\u001f)"
            "\x7f\xC3\xA9"
            R"(\u0000")");
  EXPECT_NE(text.find(R"({"m":{"attributes":{"k\"ey":"v"})"), std::string::npos);

  std::string every_byte;
  for (int c = 0; c < 256; ++c) every_byte += static_cast<char>(c < 128 ? c : 'a');
  n.creator = every_byte;
  auto back = parse_netlist(write_netlist_json(n));
  ASSERT_TRUE(back.ok()) << back.error().display();
  EXPECT_EQ(back.value().creator, every_byte);
}

TEST(NetlistWriter, EmptyNetlistWritesBothFields) {
  EXPECT_EQ(write_netlist_json(Netlist{}), R"({"creator":"","modules":{}})");
}

}  // namespace
}  // namespace vexolin
