#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "netlist_wrapper/netlist.h"

namespace vexolin {
namespace {

const std::string kData = VEXOLIN_TEST_DATA;

Netlist parse_ok(std::string_view json) {
  auto r = parse_netlist(json);
  EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error().display());
  return r.ok() ? std::move(r).value() : Netlist{};
}

std::string parse_error(std::string_view json) {
  auto r = parse_netlist(json);
  if (r.ok()) return "(parsed)";
  EXPECT_EQ(r.error().variant(), SimError::Variant::Netlist);
  return r.error().display();
}

std::vector<std::string> keys_of(const auto& map) {
  std::vector<std::string> keys;
  for (const auto& [k, v] : map) keys.push_back(k);
  return keys;
}

// `marked` holds one '^' just before the offending byte; the expected suffix is derived from it.
struct FaultCase {
  std::string marked;
  std::string message;
};

void expect_faults(const std::vector<FaultCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.marked);
    const std::size_t at = c.marked.find('^');
    ASSERT_NE(at, std::string::npos);
    std::string json = c.marked;
    json.erase(at, 1);
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < at; ++i) {
      if (json[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    EXPECT_EQ(parse_error(json),
              c.message + " at line " + std::to_string(line) + " column " + std::to_string(column));
  }
}

TEST(NetlistReader, ReadsYosysOutput) {
  auto r = read_netlist(kData + "/yosys_small.json");
  ASSERT_TRUE(r.ok()) << r.error().display();
  const Netlist& n = r.value();
  EXPECT_EQ(n.creator, "Yosys 0.38 (git sha1 543faed9c8c, clang++ 17.0.6 -fPIC -Os)");
  EXPECT_EQ(keys_of(n.modules), (std::vector<std::string>{"inv", "top"}));

  const Module& top = *n.modules.find("top");
  EXPECT_EQ(*top.attributes.find("top"), AttributeVal("00000000000000000000000000000001"));
  EXPECT_EQ(keys_of(top.ports), (std::vector<std::string>{"clk", "d", "q"}));
  const Port& d = *top.ports.find("d");
  EXPECT_EQ(d.direction, PortDirection::Input);
  EXPECT_EQ(d.bits, (std::vector<BitVal>{BitVal::number(3), BitVal::number(4)}));
  EXPECT_EQ(d.offset, -1);
  EXPECT_EQ(d.upto, 1u);
  EXPECT_EQ(d.is_signed, 1u);
  const Port& q = *top.ports.find("q");
  EXPECT_EQ(q.direction, PortDirection::Output);
  EXPECT_EQ(q.bits, (std::vector<BitVal>{BitVal::number(5), BitVal::number(6),
                                         BitVal::constant_bit('0'), BitVal::constant_bit('1')}));
  EXPECT_EQ(q.offset, 0);

  EXPECT_EQ(keys_of(top.cells), (std::vector<std::string>{"$and$top.v:7$2", "q_reg"}));
  const Cell& dff = *top.cells.find("q_reg");
  EXPECT_EQ(dff.type, "$dff");
  EXPECT_EQ(*dff.parameters.find("CLK_POLARITY"), AttributeVal("1"));
  EXPECT_EQ(*dff.parameters.find("WIDTH"), AttributeVal(std::uint64_t{2}));
  EXPECT_EQ(keys_of(dff.port_directions), (std::vector<std::string>{"CLK", "D", "Q"}));
  EXPECT_EQ(*dff.port_directions.find("Q"), PortDirection::Output);
  EXPECT_EQ(*dff.connections.find("D"),
            (std::vector<BitVal>{BitVal::number(7), BitVal::constant_bit('x')}));

  const Memory& mem = *top.memories.find("mem");
  EXPECT_EQ(mem.width, 8u);
  EXPECT_EQ(mem.size, 16u);
  EXPECT_EQ(keys_of(top.netnames), (std::vector<std::string>{"$and$top.v:7$2_Y", "q"}));
  EXPECT_EQ(top.netnames.find("$and$top.v:7$2_Y")->hide_name, 1u);
  EXPECT_EQ(top.netnames.find("q")->upto, 1u);
}

TEST(NetlistReader, AbsentOptionalFieldsTakeDefaults) {
  const Netlist empty = parse_ok(" \n{}\r\n\t");
  EXPECT_EQ(empty.creator, "");
  EXPECT_TRUE(empty.modules.empty());

  const Netlist n = parse_ok(
      R"({"modules":{"m":{},"k":{"cells":{"c":{"type":"$_NOT_","connections":{}}},
          "ports":{"p":{"direction":"inout","bits":[]}},
          "memories":{"r":{"width":1,"size":2}},"netnames":{"n":{"bits":[2]}}}}})");
  EXPECT_EQ(*n.modules.find("m"), Module{});
  const Module& k = *n.modules.find("k");
  EXPECT_EQ(*k.cells.find("c"), (Cell{0, "$_NOT_", {}, {}, {}, {}}));
  EXPECT_EQ(*k.ports.find("p"), (Port{PortDirection::Inout, {}, 0, 0, 0}));
  EXPECT_EQ(*k.memories.find("r"), (Memory{0, {}, 1, 2, 0}));
  EXPECT_EQ(*k.netnames.find("n"), (Netname{0, {BitVal::number(2)}, 0, 0, 0, {}}));
}

TEST(NetlistReader, RecordsInArrayFormAreReadPositionally) {
  const Netlist n = parse_ok(R"(["me", {"m": [{"top": 1}, {}, {
      "p": ["output", [2, "1"]],
      "w": ["input", [], -7, 1, 1]
    }, {
      "c": [3, "$_AND_", {"W": 1}, {"src": "a.v:1"}, {"A": "input"}, {"A": [2]}]
    }, {"r": [0, {}, 8, 4]}, {"n": [1, [5]]}]}])");
  EXPECT_EQ(n.creator, "me");
  const Module& m = *n.modules.find("m");
  EXPECT_EQ(*m.attributes.find("top"), AttributeVal(std::uint64_t{1}));
  EXPECT_EQ(*m.ports.find("p"),
            (Port{PortDirection::Output, {BitVal::number(2), BitVal::constant_bit('1')}, 0, 0, 0}));
  EXPECT_EQ(*m.ports.find("w"), (Port{PortDirection::Input, {}, -7, 1, 1}));
  const Cell& c = *m.cells.find("c");
  EXPECT_EQ(c.hide_name, 3u);
  EXPECT_EQ(c.type, "$_AND_");
  EXPECT_EQ(*c.attributes.find("src"), AttributeVal("a.v:1"));
  EXPECT_EQ(*c.connections.find("A"), std::vector<BitVal>{BitVal::number(2)});
  EXPECT_EQ(*m.memories.find("r"), (Memory{0, {}, 8, 4, 0}));
  EXPECT_EQ(*m.netnames.find("n"), (Netname{1, {BitVal::number(5)}, 0, 0, 0, {}}));
}

TEST(NetlistReader, ArrayEndingBeforeRequiredFieldIsLengthError) {
  expect_faults({
      {R"({"modules":{"m":{"cells":{"c":[0,"$_BUF_"^]}}}})",
       "invalid length 2, expected struct Cell with 6 elements"},
      {R"({"modules":{"m":{"cells":{"c":[^]}}}})",
       "invalid length 0, expected struct Cell with 6 elements"},
      {R"({"modules":{"m":{"ports":{"p":["input" ^]}}}})",
       "invalid length 1, expected struct Port with 5 elements"},
      {R"({"modules":{"m":{"memories":{"r":[0,{}^]}}}})",
       "invalid length 2, expected struct Memory with 5 elements"},
      {R"({"modules":{"m":{"memories":{"r":[0,{},1^]}}}})",
       "invalid length 3, expected struct Memory with 5 elements"},
      {R"({"modules":{"m":{"netnames":{"n":[0^]}}}})",
       "invalid length 1, expected struct Netname with 6 elements"},
      {R"({"modules":{"m":{"cells":{"c":[0,"t",{},{},{},{},^5,6]}}}})",
       "invalid length 8, expected struct Cell with 6 elements"},
      {R"({"modules":{"m":{"ports":{"p":["input",[],0,0,0,^[]]}}}})",
       "invalid length 6, expected struct Port with 5 elements"},
      {R"(["c",{},^null])", "invalid length 3, expected struct Netlist with 2 elements"},
      {R"({"modules":{"m":[{},{},{},{},{},{},^{}]}})",
       "invalid length 7, expected struct Module with 6 elements"},
  });
}

TEST(NetlistReader, UnknownFieldsAreSkippedWithTheirValues) {
  const Netlist n = parse_ok(R"({"version": [1, {"a": [true, null, -2.5e3, "\u00e9"]}],
      "modules": {"m": {"extra": {"x": {}}, "cells": {"c": {"type": "t", "connections": {},
      "model": [[[]]], "hide_name": 4}}}}, "trailer": "end"})");
  EXPECT_EQ(keys_of(n.modules), std::vector<std::string>{"m"});
  EXPECT_EQ(n.modules.find("m")->cells.find("c")->hide_name, 4u);

  // A skipped value is still checked for well-formed JSON.
  expect_faults({
      {R"({"x":[1,2^}})", "expected `,` or `]`"},
      {R"({"x":{"a":1^]})", "expected `,` or `}`"},
      {R"({"x":{"a" ^1}})", "expected `:`"},
      {R"({"x":[tru^]})", "expected ident"},
      {R"({"x":[^01]})", "invalid number"},
      {R"({"x":[1,^]})", "trailing comma"},
      {R"({"x":{^1:2}})", "key must be a string"},
      {R"({"x":"a^\q"})", "invalid escape"},
      {R"({"x":"^\ud800"})", "lone surrogate in hex escape"},
  });
}

TEST(NetlistReader, DeepNestingInSkippedValuesDoesNotExhaustTheStack) {
  const std::size_t depth = 200000;
  const std::string deep = std::string(depth, '[') + std::string(depth, ']');
  EXPECT_TRUE(parse_netlist(R"({"x":)" + deep + R"(,"creator":"c"})").ok());
  const std::string unclosed = R"({"x":)" + std::string(depth, '[') + "}";
  EXPECT_EQ(parse_error(unclosed), "expected value at line 1 column " + std::to_string(depth + 6));
  EXPECT_EQ(parse_error(std::string(depth, '[')),
            "EOF while parsing a list at line 1 column " + std::to_string(depth + 1));
}

TEST(NetlistReader, RepeatedMapKeyKeepsFirstPositionAndLastValue) {
  const Netlist n = parse_ok(R"({"modules":{"m":{"cells":{
      "b":{"type":"first","connections":{}},
      "a":{"type":"a","connections":{}},
      "b":{"type":"last","connections":{}}},
      "attributes":{"k":1,"j":2,"k":"again"}}}})");
  const Module& m = *n.modules.find("m");
  EXPECT_EQ(keys_of(m.cells), (std::vector<std::string>{"b", "a"}));
  EXPECT_EQ(m.cells.find("b")->type, "last");
  EXPECT_EQ(keys_of(m.attributes), (std::vector<std::string>{"k", "j"}));
  EXPECT_EQ(*m.attributes.find("k"), AttributeVal("again"));
}

TEST(NetlistReader, BitsAndAttributeValuesTakeEitherForm) {
  const Netlist n = parse_ok(R"({"modules":{"m":{"netnames":{"n":{
      "bits":[2,3,"0","1","x","z","\u0078",18446744073709551615],
      "attributes":{"i":1,"b":"0101","t":"some text","e":"","n":18446744073709551615}}}}}})");
  const Netname& net = *n.modules.find("m")->netnames.find("n");
  EXPECT_EQ(net.bits,
            (std::vector<BitVal>{BitVal::number(2), BitVal::number(3), BitVal::constant_bit('0'),
                                 BitVal::constant_bit('1'), BitVal::constant_bit('x'),
                                 BitVal::constant_bit('z'), BitVal::constant_bit('x'),
                                 BitVal::number(18446744073709551615u)}));
  EXPECT_EQ(*net.attributes.find("i"), AttributeVal(std::uint64_t{1}));
  EXPECT_EQ(*net.attributes.find("b"), AttributeVal("0101"));
  EXPECT_EQ(*net.attributes.find("t"), AttributeVal("some text"));
  EXPECT_EQ(*net.attributes.find("e"), AttributeVal(""));
  EXPECT_EQ(*net.attributes.find("n"), AttributeVal(std::uint64_t{18446744073709551615u}));
}

TEST(NetlistReader, EscapedStringsAreDecoded) {
  const Netlist n =
      parse_ok(R"({"creator":"a\"b\\c\/\n\t\u00e9\ud83d\ude00","modules":{"m\u0024x":{}}})");
  EXPECT_EQ(n.creator, "a\"b\\c/\n\t\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(keys_of(n.modules), std::vector<std::string>{"m$x"});
}

TEST(NetlistReader, IntegerFieldsAreRangeChecked) {
  const Netlist n = parse_ok(R"({"modules":{"m":{"ports":{"p":{"direction":"input","bits":[],
      "offset":-9223372036854775808,"upto":18446744073709551615}}}}})");
  const Port& p = *n.modules.find("m")->ports.find("p");
  EXPECT_EQ(p.offset, INT64_MIN);
  EXPECT_EQ(p.upto, UINT64_MAX);

  const std::string cell = R"({"modules":{"m":{"cells":{"c":{"type":"t","connections":{},)";
  const std::string port = R"({"modules":{"m":{"ports":{"p":{"direction":"input","bits":[],)";
  expect_faults({
      {cell + R"("hide_name":^-1}}}}})", "invalid value: integer `-1`, expected usize"},
      {cell + R"("hide_name":^1.5}}}}})", "invalid type: floating point `1.5`, expected usize"},
      {cell + R"("hide_name":^1e3}}}}})", "invalid type: floating point `1e3`, expected usize"},
      {cell + R"("hide_name":^18446744073709551616}}}}})",
       "invalid value: integer `18446744073709551616`, expected usize"},
      {cell + R"("hide_name":^"1"}}}}})", R"(invalid type: string "1", expected usize)"},
      {port + R"("offset":^9223372036854775808}}}}})",
       "invalid value: integer `9223372036854775808`, expected i64"},
      {port + R"("offset":^-9223372036854775809}}}}})",
       "invalid value: integer `-9223372036854775809`, expected i64"},
      {port + R"("offset":^-0.5}}}}})", "invalid type: floating point `-0.5`, expected i64"},
      {port + R"("signed":^true}}}}})", "invalid type: boolean `true`, expected usize"},
      {R"({"modules":{"m":{"memories":{"r":{"size":1,"width":^null}}}}})",
       "invalid type: null, expected usize"},
  });
}

TEST(NetlistReader, RecordFaultsNameTheRecordAndField) {
  expect_faults({
      {R"({"modules":{"m":{"cells":{"c":{"connections":{}^}}}}})", "missing field `type`"},
      {R"({"modules":{"m":{"cells":{"c":{"hide_name":0 ^}}}}})", "missing field `type`"},
      {R"({"modules":{"m":{"cells":{"c":{"type":"$and"^}}}}})", "missing field `connections`"},
      {R"({"modules":{"m":{"ports":{"p":{"bits":[]^}}}}})", "missing field `direction`"},
      {R"({"modules":{"m":{"ports":{"p":{"direction":"input"^}}}}})", "missing field `bits`"},
      {R"({"modules":{"m":{"netnames":{"n":{"hide_name":1^}}}}})", "missing field `bits`"},
      {R"({"modules":{"m":{"memories":{"r":{"size":4^}}}}})", "missing field `width`"},
      {R"({"modules":{"m":{"memories":{"r":{"width":4^}}}}})", "missing field `size`"},
      {R"({"modules":{"m":{"cells":{"c":{"type":"a",^"type":"b","connections":{}}}}}})",
       "duplicate field `type`"},
      {R"({"creator":"a","modules":{},^"creator":"b"})", "duplicate field `creator`"},
      {R"({"modules":{"m":{"ports":{"p":{"direction":^"Input","bits":[]}}}}})",
       "unknown variant `Input`, expected one of `input`, `output`, `inout`"},
      {R"({"modules":{"m":{"cells":{"c":{"type":"t","connections":{},"port_directions":{"A":^"in"}}}}}})",
       "unknown variant `in`, expected one of `input`, `output`, `inout`"},
      {R"({"modules":{"m":{"ports":{"p":{"direction":^1,"bits":[]}}}}})",
       "invalid type: integer `1`, expected enum PortDirection"},
      {R"(^"x\"y\n")", R"(invalid type: string "x\"y\n", expected struct Netlist)"},
      {R"(  ^5 )", "invalid type: integer `5`, expected struct Netlist"},
      {R"({"modules":{"m":^true}})", "invalid type: boolean `true`, expected struct Module"},
      {R"({"modules":{"m":{"ports":{"p":^"input"}}}})",
       R"(invalid type: string "input", expected struct Port)"},
      {R"({"modules":{"m":{"cells":{"c":^null}}}})", "invalid type: null, expected struct Cell"},
      {R"({"modules":{"m":{"memories":{"r":^1.5}}}})",
       "invalid type: floating point `1.5`, expected struct Memory"},
      {R"({"modules":{"m":{"netnames":{"n":^-3}}}})",
       "invalid type: integer `-3`, expected struct Netname"},
      {R"({"creator":^5})", "invalid type: integer `5`, expected a string"},
      {R"({"modules":^"x"})", R"(invalid type: string "x", expected a map)"},
      {R"({"modules":{"m":{"cells":{"c":{"type":"t","connections":^[]}}}}})",
       "invalid type: sequence, expected a map"},
      {R"({"modules":{"m":{"netnames":{"n":{"bits":^{}}}}}})",
       "invalid type: map, expected a sequence"},
  });
}

TEST(NetlistReader, BadBitOrAttributeMatchesNoVariant) {
  const std::string bit = "data did not match any variant of untagged enum BitVal";
  const std::string attr = "data did not match any variant of untagged enum AttributeVal";
  std::vector<FaultCase> cases;
  for (const char* v : {R"("2")", "-1", "2.0", R"("X")", "true", "null", "[1]", "{}", R"("01")",
                        "18446744073709551616", R"("")"}) {
    cases.push_back(
        {std::string(R"({"modules":{"m":{"netnames":{"n":{"bits":[2,^)") + v + "]}}}}}", bit});
  }
  for (const char* v : {"-1", "true", "1.5", "null", "[]", R"({"a":1})"}) {
    cases.push_back(
        {std::string(R"({"modules":{"m":{"attributes":{"a":"1","b":^)") + v + "}}}}", attr});
  }
  expect_faults(cases);
}

TEST(NetlistReader, MalformedDocumentsAreLocated) {
  expect_faults({
      {"^", "EOF while parsing a value"},
      {"  \n ^", "EOF while parsing a value"},
      {"{}^x", "trailing characters"},
      {"{} ^{}", "trailing characters"},
      {R"({"creator":"a"}^})", "trailing characters"},
      {R"({"creator":"a"^)", "EOF while parsing an object"},
      {R"({"creator":"a" ^"modules":{}})", "expected `,` or `}`"},
      {R"({"creator" ^"a"})", "expected `:`"},
      {R"({"creator":"ab^)", "EOF while parsing a string"},
      {"{\n  \"creator\": \"ok\",\n  \"modules\": ^3\n}",
       "invalid type: integer `3`, expected a map"},
      {"{\"creator\":\"a^\x01\"}",
       "control character (\\u0000-\\u001F) found while parsing a string"},
      {"{\"creator\":\"ab^\xff\"}", "invalid UTF-8"},
      {"{\"creator\":\"ab^\xc3\x28\"}", "invalid UTF-8"},
      {"{\"x\":\"ok\"}^\xe9", "trailing characters"},
      // Truncated documents whose last token is a number inside a container.
      {R"({"modules":{"m":{"netnames":{"n":{"bits":[1,2^)", "EOF while parsing a list"},
      {R"({"modules":{"m":{"memories":{"r":{"size":1,"width":4^)", "EOF while parsing an object"},
      {R"({"modules":{"m":{"memories":{"r":{"size":1,"width":-4^)", "EOF while parsing an object"},
      // A bad escape in a map key, at any depth, points at the escape.
      {R"({"modules":{"m":{"cells":{"c":{"parameters":{"W^\H":2}}}}}})", "invalid escape"},
      {R"({"modules":{"^\q":{}}})", "invalid escape"},
  });
}

TEST(NetlistReader, FileErrorsCarryTheSystemText) {
  auto missing = read_netlist(kData + "/no_such_file.json");
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().variant(), SimError::Variant::Io);
  EXPECT_EQ(missing.error().display(), "No such file or directory");
  auto directory = read_netlist(kData);
  ASSERT_FALSE(directory.ok());
  EXPECT_EQ(directory.error().display(), "Is a directory");
}

TEST(AsStr, ReadsTextButNotBitStringsOrNumbers) {
  const struct {
    AttributeVal value;
    std::optional<std::string_view> expected;
  } cases[] = {
      {std::string("top.v:3.1-4.2"), "top.v:3.1-4.2"},
      {std::string("text "), "text"},
      {std::string("two  "), "two "},
      {std::string("0101"), std::nullopt},
      {std::string("01xz"), std::nullopt},
      {std::string("0101 "), "0101"},
      {std::string("X"), "X"},
      {std::string(" "), ""},
      {std::string(""), std::nullopt},
      {std::uint64_t{7}, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(as_str(c.value), c.expected);
  }
}

}  // namespace
}  // namespace vexolin
