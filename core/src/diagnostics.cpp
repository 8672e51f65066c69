#include "diagnostics.h"

#include <cstdio>
#include <cstdlib>

#include "file_io.h"

namespace vexolin {

namespace {

DiagnosticSink g_sink = nullptr;
void* g_context = nullptr;

}  // namespace

void set_diagnostic_sink(DiagnosticSink sink, void* context) {
  g_sink = sink;
  g_context = context;
}

void emit_line(std::string_view line) {
  if (g_sink) {
    g_sink(line, g_context);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

bool debug_enabled() {
  const char* value = std::getenv("VEXOLIN_DEBUG");
  return value != nullptr && is_valid_utf8(value);
}

}  // namespace vexolin
