// The netlist as compact JSON, built in one string buffer.
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include "netlist_wrapper/netlist.h"

namespace vexolin {

namespace {

class Writer {
 public:
  std::string finish() && { return std::move(out_); }

  void netlist(const Netlist& n) {
    out_ += '{';
    key("creator");
    string(n.creator);
    out_ += ',';
    key("modules");
    map(n.modules, [this](const Module& m) { module(m); });
    out_ += '}';
  }

 private:
  void module(const Module& m) {
    out_ += '{';
    key("attributes");
    attributes(m.attributes);
    out_ += ',';
    key("parameter_default_values");
    attributes(m.parameter_default_values);
    out_ += ',';
    key("ports");
    map(m.ports, [this](const Port& p) { port(p); });
    out_ += ',';
    key("cells");
    map(m.cells, [this](const Cell& c) { cell(c); });
    out_ += ',';
    key("memories");
    map(m.memories, [this](const Memory& mem) { memory(mem); });
    out_ += ',';
    key("netnames");
    map(m.netnames, [this](const Netname& n) { netname(n); });
    out_ += '}';
  }

  void port(const Port& p) {
    out_ += '{';
    key("direction");
    direction(p.direction);
    out_ += ',';
    key("bits");
    bits(p.bits);
    out_ += ',';
    key("offset");
    integer(p.offset);
    out_ += ',';
    key("upto");
    integer(p.upto);
    out_ += ',';
    key("signed");
    integer(p.is_signed);
    out_ += '}';
  }

  void cell(const Cell& c) {
    out_ += '{';
    key("hide_name");
    integer(c.hide_name);
    out_ += ',';
    key("type");
    string(c.type);
    out_ += ',';
    key("parameters");
    attributes(c.parameters);
    out_ += ',';
    key("attributes");
    attributes(c.attributes);
    out_ += ',';
    key("port_directions");
    map(c.port_directions, [this](PortDirection d) { direction(d); });
    out_ += ',';
    key("connections");
    map(c.connections, [this](const std::vector<BitVal>& b) { bits(b); });
    out_ += '}';
  }

  void memory(const Memory& m) {
    out_ += '{';
    key("hide_name");
    integer(m.hide_name);
    out_ += ',';
    key("attributes");
    attributes(m.attributes);
    out_ += ',';
    key("width");
    integer(m.width);
    out_ += ',';
    key("size");
    integer(m.size);
    out_ += ',';
    key("start_offset");
    integer(m.start_offset);
    out_ += '}';
  }

  void netname(const Netname& n) {
    out_ += '{';
    key("hide_name");
    integer(n.hide_name);
    out_ += ',';
    key("bits");
    bits(n.bits);
    out_ += ',';
    key("offset");
    integer(n.offset);
    out_ += ',';
    key("upto");
    integer(n.upto);
    out_ += ',';
    key("signed");
    integer(n.is_signed);
    out_ += ',';
    key("attributes");
    attributes(n.attributes);
    out_ += '}';
  }

  template <class V, class WriteValue>
  void map(const OrderedMap<V>& m, WriteValue write_value) {
    out_ += '{';
    bool first = true;
    for (const auto& [name, value] : m) {
      if (!first) out_ += ',';
      first = false;
      string(name);
      out_ += ':';
      write_value(value);
    }
    out_ += '}';
  }

  void attributes(const AttributeMap& m) {
    map(m, [this](const AttributeVal& a) {
      if (const auto* n = std::get_if<std::uint64_t>(&a)) {
        integer(*n);
      } else {
        string(std::get<std::string>(a));
      }
    });
  }

  void bits(const std::vector<BitVal>& b) {
    out_ += '[';
    for (std::size_t i = 0; i < b.size(); ++i) {
      if (i) out_ += ',';
      if (b[i].is_number()) {
        integer(b[i].net);
      } else {
        const char text[3] = {'"', b[i].constant, '"'};
        out_.append(text, 3);
      }
    }
    out_ += ']';
  }

  void direction(PortDirection d) {
    out_ += '"';
    out_ += direction_name(d);
    out_ += '"';
  }

  // Field names are plain ASCII and need no escaping.
  void key(std::string_view name) {
    out_ += '"';
    out_ += name;
    out_ += "\":";
  }

  template <class I>
  void integer(I value) {
    char buf[24];
    const auto end = std::to_chars(buf, buf + sizeof buf, value).ptr;
    out_.append(buf, static_cast<std::size_t>(end - buf));
  }

  void string(std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    out_ += '"';
    std::size_t run = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
      const auto c = static_cast<unsigned char>(s[i]);
      if (c >= 0x20 && c != '"' && c != '\\') continue;
      out_.append(s.data() + run, i - run);
      run = i + 1;
      switch (c) {
        case '"':
          out_ += "\\\"";
          break;
        case '\\':
          out_ += "\\\\";
          break;
        case '\b':
          out_ += "\\b";
          break;
        case '\f':
          out_ += "\\f";
          break;
        case '\n':
          out_ += "\\n";
          break;
        case '\r':
          out_ += "\\r";
          break;
        case '\t':
          out_ += "\\t";
          break;
        default: {
          const char esc[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
          out_.append(esc, 6);
        }
      }
    }
    out_.append(s.data() + run, s.size() - run);
    out_ += '"';
  }

  std::string out_;
};

}  // namespace

std::string write_netlist_json(const Netlist& netlist) {
  Writer w;
  w.netlist(netlist);
  return std::move(w).finish();
}

}  // namespace vexolin
