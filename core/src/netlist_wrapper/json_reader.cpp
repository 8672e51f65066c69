// The netlist reader: simdjson On-Demand under a hand-written recursive descent over the
// records. On-Demand validates only what is consumed, so skipped values go through the strict
// syntax check, and every fault that simdjson reports is located by that check as well.
#include <simdjson.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "file_io.h"
#include "netlist_wrapper/json_syntax.h"
#include "netlist_wrapper/netlist.h"
#include "text.h"

namespace vexolin {

namespace {

namespace od = simdjson::ondemand;
using simdjson::error_code;

bool is_bit_constant(char c) {
  return c == '0' || c == '1' || c == 'x' || c == 'z';
}

bool is_json_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trim_json_space(std::string_view s) {
  while (!s.empty() && is_json_space(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view simdjson_fault_text(error_code code) {
  switch (code) {
    case simdjson::EMPTY:
      return "EOF while parsing a value";
    case simdjson::CAPACITY:
      return "document too large for the JSON reader";
    case simdjson::MEMALLOC:
      return "out of memory while reading JSON";
    case simdjson::UTF8_ERROR:
      return "invalid UTF-8";
    case simdjson::UNCLOSED_STRING:
      return "EOF while parsing a string";
    case simdjson::UNESCAPED_CHARS:
      return "control character (\\u0000-\\u001F) found while parsing a string";
    case simdjson::NUMBER_ERROR:
      return "invalid number";
    case simdjson::STRING_ERROR:
      return "invalid escape";
    case simdjson::T_ATOM_ERROR:
    case simdjson::F_ATOM_ERROR:
    case simdjson::N_ATOM_ERROR:
      return "expected ident";
    default:
      return simdjson::error_message(code);
  }
}

class Reader;

// Per record: its name, its JSON field names in declared order, which are required (bit i for
// field i) and how field i is read.
template <class R>
struct RecordTraits;

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  Result<Netlist> run(simdjson::padded_string_view input) {
    od::parser parser;
    auto iterated = parser.iterate(input);
    if (iterated.error()) {
      syntax_fault(text_.data(), iterated.error());
      return take_error();
    }
    doc_ = std::move(iterated).value_unsafe();
    std::size_t first = 0;
    while (first < text_.size() && is_json_space(text_[first])) ++first;
    const char* at = text_.data() + first;
    Netlist netlist;
    if (*at == '{' || *at == '[') {
      od::value root;
      if (const error_code e = doc_.get_value().get(root)) {
        syntax_fault(at, e);
        return take_error();
      }
      if (!read_record(root, netlist)) return take_error();
      auto rest = doc_.current_location();
      if (!rest.error()) {
        fail(rest.value_unsafe(), "trailing characters");
        return take_error();
      }
      return netlist;
    }
    // A scalar document: simdjson cannot hand it out as a value, so it is checked here.
    if (const auto fault = find_json_syntax_fault(text_)) {
      fail_offset(fault->offset, std::string(fault->message));
      return take_error();
    }
    std::string_view unescaped;
    if (*at == '"' && doc_.get_string().get(unescaped) != simdjson::SUCCESS) {
      syntax_fault(at, simdjson::STRING_ERROR);
      return take_error();
    }
    fail(at, "invalid type: " + describe(at, unescaped) + ", expected struct Netlist");
    return take_error();
  }

  template <class R>
  bool read_record(od::value& v, R& out) {
    using T = RecordTraits<R>;
    constexpr std::size_t kCount = T::kFields.size();
    const char* at = token(v);
    if (*at == '{') {
      od::object object;
      if (const error_code e = v.get_object().get(object)) return syntax_fault(at, e);
      std::uint32_t seen = 0;
      for (auto entry : object) {
        od::field field;
        if (const error_code e = std::move(entry).get(field)) return syntax_fault(nullptr, e);
        const char* key_at = field.key().raw() - 1;
        std::string_view key;
        if (const error_code e = field.unescaped_key().get(key)) return syntax_fault(key_at, e);
        std::size_t index = 0;
        while (index < kCount && T::kFields[index] != key) ++index;
        if (index == kCount) {
          if (!skip_value(field.value())) return false;
          continue;
        }
        const std::uint32_t bit = 1u << index;
        if (seen & bit) return fail(key_at, "duplicate field `" + std::string(key) + "`");
        seen |= bit;
        if (!T::read(*this, field.value(), out, index)) return false;
      }
      for (std::size_t i = 0; i < kCount; ++i) {
        if ((T::kRequired >> i) & 1u && !(seen & (1u << i))) {
          return fail(closing_bracket(), "missing field `" + std::string(T::kFields[i]) + "`");
        }
      }
      return true;
    }
    if (*at == '[') {
      od::array array;
      if (const error_code e = v.get_array().get(array)) return syntax_fault(at, e);
      std::size_t count = 0;
      const char* surplus_at = nullptr;
      for (auto entry : array) {
        od::value element;
        if (const error_code e = std::move(entry).get(element)) return syntax_fault(nullptr, e);
        if (count >= kCount) {
          if (!surplus_at) surplus_at = token(element);
          if (!skip_value(element)) return false;
        } else if (!T::read(*this, element, out, count)) {
          return false;
        }
        ++count;
      }
      if (surplus_at) return fail(surplus_at, length_message<R>(count));
      for (std::size_t i = count; i < kCount; ++i) {
        if ((T::kRequired >> i) & 1u) return fail(closing_bracket(), length_message<R>(count));
      }
      return true;
    }
    return type_fault(v, "struct " + std::string(T::kName));
  }

  template <class V, class ReadValue>
  bool read_map(od::value& v, OrderedMap<V>& out, ReadValue read_value) {
    const char* at = token(v);
    if (*at != '{') return type_fault(v, "a map");
    od::object object;
    if (const error_code e = v.get_object().get(object)) return syntax_fault(at, e);
    for (auto entry : object) {
      od::field field;
      if (const error_code e = std::move(entry).get(field)) return syntax_fault(nullptr, e);
      // unescaped_key() consumes the key, so its position is taken first.
      const char* key_at = field.key().raw() - 1;
      std::string_view key;
      if (const error_code e = field.unescaped_key().get(key)) return syntax_fault(key_at, e);
      std::string name(key);
      V value{};
      if (!read_value(field.value(), value)) return false;
      out.insert_or_assign(std::move(name), std::move(value));
    }
    return true;
  }

  template <class V>
  bool read_record_map(od::value& v, OrderedMap<V>& out) {
    return read_map(v, out,
                    [this](od::value& item, V& record) { return read_record(item, record); });
  }

  bool read_attributes(od::value& v, AttributeMap& out) {
    return read_map(v, out,
                    [this](od::value& item, AttributeVal& a) { return read_attribute(item, a); });
  }

  bool read_directions(od::value& v, OrderedMap<PortDirection>& out) {
    return read_map(v, out,
                    [this](od::value& item, PortDirection& d) { return read_direction(item, d); });
  }

  bool read_connections(od::value& v, OrderedMap<std::vector<BitVal>>& out) {
    return read_map(v, out, [this](od::value& item, std::vector<BitVal>& bits) {
      return read_bits(item, bits);
    });
  }

  bool read_bits(od::value& v, std::vector<BitVal>& out) {
    const char* at = token(v);
    if (*at != '[') return type_fault(v, "a sequence");
    od::array array;
    if (const error_code e = v.get_array().get(array)) return syntax_fault(at, e);
    // Gathered in a reused buffer, so that each list costs one exact allocation.
    scratch_bits_.clear();
    for (auto entry : array) {
      od::value element;
      if (const error_code e = std::move(entry).get(element)) return syntax_fault(nullptr, e);
      BitVal bit;
      if (!read_bit(element, bit)) return false;
      scratch_bits_.push_back(bit);
    }
    out.assign(scratch_bits_.begin(), scratch_bits_.end());
    return true;
  }

  bool read_bit(od::value& v, BitVal& out) {
    const char* at = token(v);
    if (*at >= '0' && *at <= '9') {
      std::uint64_t n = 0;
      if (v.get_uint64().get(n) == simdjson::SUCCESS) {
        out = BitVal::number(n);
        return true;
      }
    } else if (*at == '"') {
      // The common unescaped constant is recognised from the raw text.
      if (is_bit_constant(at[1]) && at[2] == '"') {
        od::raw_json_string raw;
        if (const error_code e = v.get_raw_json_string().get(raw)) return syntax_fault(at, e);
        out = BitVal::constant_bit(at[1]);
        return true;
      }
      std::string_view s;
      if (const error_code e = v.get_string().get(s)) return syntax_fault(at, e);
      if (s.size() == 1 && is_bit_constant(s[0])) {
        out = BitVal::constant_bit(s[0]);
        return true;
      }
      return fail(at, "data did not match any variant of untagged enum BitVal");
    }
    if (!skip_value(v)) return false;
    return fail(at, "data did not match any variant of untagged enum BitVal");
  }

  bool read_attribute(od::value& v, AttributeVal& out) {
    const char* at = token(v);
    if (*at == '"') {
      std::string_view s;
      if (const error_code e = v.get_string().get(s)) return syntax_fault(at, e);
      out.emplace<std::string>(s);
      return true;
    }
    if (*at >= '0' && *at <= '9') {
      std::uint64_t n = 0;
      if (v.get_uint64().get(n) == simdjson::SUCCESS) {
        out = n;
        return true;
      }
    }
    if (!skip_value(v)) return false;
    return fail(at, "data did not match any variant of untagged enum AttributeVal");
  }

  bool read_direction(od::value& v, PortDirection& out) {
    const char* at = token(v);
    if (*at != '"') return type_fault(v, "enum PortDirection");
    std::string_view s;
    if (const error_code e = v.get_string().get(s)) return syntax_fault(at, e);
    if (s == "input") {
      out = PortDirection::Input;
    } else if (s == "output") {
      out = PortDirection::Output;
    } else if (s == "inout") {
      out = PortDirection::Inout;
    } else {
      return fail(at, "unknown variant `" + std::string(s) +
                          "`, expected one of `input`, `output`, `inout`");
    }
    return true;
  }

  bool read_string(od::value& v, std::string& out) {
    const char* at = token(v);
    if (*at != '"') return type_fault(v, "a string");
    std::string_view s;
    if (const error_code e = v.get_string().get(s)) return syntax_fault(at, e);
    out.assign(s);
    return true;
  }

  bool read_u64(od::value& v, std::uint64_t& out) {
    if (v.get_uint64().get(out) == simdjson::SUCCESS) return true;
    return number_fault(v, "usize");
  }

  bool read_i64(od::value& v, std::int64_t& out) {
    if (v.get_int64().get(out) == simdjson::SUCCESS) return true;
    return number_fault(v, "i64");
  }

 private:
  static const char* token(od::value& v) { return v.raw_json_token().data(); }

  // The span of one value, without consuming scalars (On-Demand skips them by itself).
  bool value_span(od::value& v, std::string_view& span) {
    const char* at = token(v);
    if (*at == '[') {
      od::array array;
      if (const error_code e = v.get_array().get(array)) return syntax_fault(at, e);
      if (const error_code e = array.raw_json().get(span)) return syntax_fault(at, e);
    } else if (*at == '{') {
      od::object object;
      if (const error_code e = v.get_object().get(object)) return syntax_fault(at, e);
      if (const error_code e = object.raw_json().get(span)) return syntax_fault(at, e);
    } else {
      span = v.raw_json_token();
    }
    return true;
  }

  // Passes over a value that nothing reads, checking that it is well-formed JSON.
  bool skip_value(od::value& v) {
    const char* at = token(v);
    std::string_view span;
    if (!value_span(v, span)) return false;
    if (reaches_text_end(span) || find_json_syntax_fault(span)) {
      return syntax_fault(at, simdjson::TAPE_ERROR);
    }
    return true;
  }

  // No value inside a container can end the document; simdjson then reads the padding as if
  // it followed the value, so such a value is reported as the truncation it is.
  bool reaches_text_end(std::string_view span) const {
    return span.data() + span.size() >= text_.data() + text_.size();
  }

  // A number where an integer of type `expected` belongs, or another value there.
  bool number_fault(od::value& v, std::string_view expected) {
    const char* at = token(v);
    if (*at != '-' && !(*at >= '0' && *at <= '9')) return type_fault(v, expected);
    const std::string_view token_text = v.raw_json_token();
    const std::string_view text = trim_json_space(token_text);
    if (reaches_text_end(token_text) || find_json_syntax_fault(text)) {
      return syntax_fault(at, simdjson::NUMBER_ERROR);
    }
    const bool integral = text.find_first_of(".eE") == std::string_view::npos;
    if (!integral) {
      return fail(at, "invalid type: floating point `" + std::string(text) + "`, expected " +
                          std::string(expected));
    }
    return fail(at, "invalid value: integer `" + std::string(text) + "`, expected " +
                        std::string(expected));
  }

  // "invalid type: {what was found}, expected {expected}", once the value is known to be sound.
  bool type_fault(od::value& v, std::string_view expected) {
    const char* at = token(v);
    std::string_view unescaped;
    if (*at == '"') {
      if (find_json_syntax_fault(v.raw_json_token()))
        return syntax_fault(at, simdjson::STRING_ERROR);
      if (const error_code e = v.get_string().get(unescaped)) return syntax_fault(at, e);
    } else if (!skip_value(v)) {
      return false;
    }
    return fail(at,
                "invalid type: " + describe(at, unescaped) + ", expected " + std::string(expected));
  }

  // What serde calls the unexpected value, for a value already checked to be well-formed.
  std::string describe(const char* at, std::string_view unescaped) const {
    switch (*at) {
      case '"':
        return "string " + debug_quoted(unescaped);
      case '[':
        return "sequence";
      case '{':
        return "map";
      case 't':
        return "boolean `true`";
      case 'f':
        return "boolean `false`";
      case 'n':
        return "null";
      default: {
        const std::size_t from = static_cast<std::size_t>(at - text_.data());
        std::size_t to = from;
        while (to < text_.size() && !is_json_space(text_[to]) && text_[to] != ',' &&
               text_[to] != ']' && text_[to] != '}') {
          ++to;
        }
        const std::string_view number = text_.substr(from, to - from);
        const bool integral = number.find_first_of(".eE") == std::string_view::npos;
        return (integral ? "integer `" : "floating point `") + std::string(number) + "`";
      }
    }
  }

  template <class R>
  static std::string length_message(std::size_t count) {
    using T = RecordTraits<R>;
    return "invalid length " + std::to_string(count) + ", expected struct " +
           std::string(T::kName) + " with " + std::to_string(T::kFields.size()) + " elements";
  }

  // The bracket that closed the container just iterated: the last non-blank byte before the
  // next token.
  const char* closing_bracket() {
    std::size_t end = text_.size();
    auto next = doc_.current_location();
    if (!next.error()) end = static_cast<std::size_t>(next.value_unsafe() - text_.data());
    while (end > 0 && is_json_space(text_[end - 1])) --end;
    return text_.data() + (end > 0 ? end - 1 : 0);
  }

  // A fault that simdjson noticed. The strict check finds the first fault of the document,
  // which is the one that stopped the reader, since everything before it has been validated.
  bool syntax_fault(const char* at, error_code code) {
    if (const auto fault = find_json_syntax_fault(text_)) {
      return fail_offset(fault->offset, std::string(fault->message));
    }
    if (!at) {
      auto here = doc_.current_location();
      at = here.error() ? text_.data() + text_.size() : here.value_unsafe();
    }
    return fail(at, std::string(simdjson_fault_text(code)));
  }

  bool fail(const char* at, std::string message) {
    return fail_offset(static_cast<std::size_t>(at - text_.data()), std::move(message));
  }

  bool fail_offset(std::size_t offset, std::string message) {
    message_ = std::move(message);
    offset_ = offset;
    return false;
  }

  SimError take_error() {
    const TextPosition p = text_position(text_, offset_);
    return SimError::netlist(std::move(message_) + " at line " + std::to_string(p.line) +
                             " column " + std::to_string(p.column));
  }

  std::string_view text_;
  od::document doc_;
  std::vector<BitVal> scratch_bits_;
  std::string message_;
  std::size_t offset_ = 0;
};

template <>
struct RecordTraits<Port> {
  static constexpr std::string_view kName = "Port";
  static constexpr std::array<std::string_view, 5> kFields = {"direction", "bits", "offset", "upto",
                                                              "signed"};
  static constexpr std::uint32_t kRequired = 0b00011;
  static bool read(Reader& r, od::value& v, Port& p, std::size_t i) {
    switch (i) {
      case 0:
        return r.read_direction(v, p.direction);
      case 1:
        return r.read_bits(v, p.bits);
      case 2:
        return r.read_i64(v, p.offset);
      case 3:
        return r.read_u64(v, p.upto);
      default:
        return r.read_u64(v, p.is_signed);
    }
  }
};

template <>
struct RecordTraits<Cell> {
  static constexpr std::string_view kName = "Cell";
  static constexpr std::array<std::string_view, 6> kFields = {
      "hide_name", "type", "parameters", "attributes", "port_directions", "connections"};
  static constexpr std::uint32_t kRequired = 0b100010;
  static bool read(Reader& r, od::value& v, Cell& c, std::size_t i) {
    switch (i) {
      case 0:
        return r.read_u64(v, c.hide_name);
      case 1:
        return r.read_string(v, c.type);
      case 2:
        return r.read_attributes(v, c.parameters);
      case 3:
        return r.read_attributes(v, c.attributes);
      case 4:
        return r.read_directions(v, c.port_directions);
      default:
        return r.read_connections(v, c.connections);
    }
  }
};

template <>
struct RecordTraits<Memory> {
  static constexpr std::string_view kName = "Memory";
  static constexpr std::array<std::string_view, 5> kFields = {"hide_name", "attributes", "width",
                                                              "size", "start_offset"};
  static constexpr std::uint32_t kRequired = 0b01100;
  static bool read(Reader& r, od::value& v, Memory& m, std::size_t i) {
    switch (i) {
      case 0:
        return r.read_u64(v, m.hide_name);
      case 1:
        return r.read_attributes(v, m.attributes);
      case 2:
        return r.read_u64(v, m.width);
      case 3:
        return r.read_u64(v, m.size);
      default:
        return r.read_u64(v, m.start_offset);
    }
  }
};

template <>
struct RecordTraits<Netname> {
  static constexpr std::string_view kName = "Netname";
  static constexpr std::array<std::string_view, 6> kFields = {"hide_name", "bits",   "offset",
                                                              "upto",      "signed", "attributes"};
  static constexpr std::uint32_t kRequired = 0b000010;
  static bool read(Reader& r, od::value& v, Netname& n, std::size_t i) {
    switch (i) {
      case 0:
        return r.read_u64(v, n.hide_name);
      case 1:
        return r.read_bits(v, n.bits);
      case 2:
        return r.read_i64(v, n.offset);
      case 3:
        return r.read_u64(v, n.upto);
      case 4:
        return r.read_u64(v, n.is_signed);
      default:
        return r.read_attributes(v, n.attributes);
    }
  }
};

template <>
struct RecordTraits<Module> {
  static constexpr std::string_view kName = "Module";
  static constexpr std::array<std::string_view, 6> kFields = {
      "attributes", "parameter_default_values", "ports", "cells", "memories", "netnames"};
  static constexpr std::uint32_t kRequired = 0;
  static bool read(Reader& r, od::value& v, Module& m, std::size_t i) {
    switch (i) {
      case 0:
        return r.read_attributes(v, m.attributes);
      case 1:
        return r.read_attributes(v, m.parameter_default_values);
      case 2:
        return r.read_record_map(v, m.ports);
      case 3:
        return r.read_record_map(v, m.cells);
      case 4:
        return r.read_record_map(v, m.memories);
      default:
        return r.read_record_map(v, m.netnames);
    }
  }
};

template <>
struct RecordTraits<Netlist> {
  static constexpr std::string_view kName = "Netlist";
  static constexpr std::array<std::string_view, 2> kFields = {"creator", "modules"};
  static constexpr std::uint32_t kRequired = 0;
  static bool read(Reader& r, od::value& v, Netlist& n, std::size_t i) {
    if (i == 0) return r.read_string(v, n.creator);
    return r.read_record_map(v, n.modules);
  }
};

Result<Netlist> parse_padded(std::string_view text, simdjson::padded_string_view input) {
  return Reader(text).run(input);
}

}  // namespace

Result<Netlist> parse_netlist(std::string_view json) {
  const simdjson::padded_string copy(json);
  const std::string_view text(copy.data(), copy.size());
  return parse_padded(text, simdjson::padded_string_view(copy.data(), copy.size(),
                                                         copy.size() + simdjson::SIMDJSON_PADDING));
}

Result<Netlist> read_netlist(const std::string& path) {
  auto data = read_file(path, simdjson::SIMDJSON_PADDING);
  if (!data.ok()) return std::move(data).error();
  const std::string& bytes = data.value();
  return parse_padded(bytes,
                      simdjson::padded_string_view(bytes.data(), bytes.size(), bytes.capacity()));
}

}  // namespace vexolin
