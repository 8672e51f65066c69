// Diagnostic lines (notices and debug output) and where they go.
#pragma once

#include <string_view>

namespace vexolin {

/// Receives one diagnostic line, without its newline.
using DiagnosticSink = void (*)(std::string_view line, void* context);

/// Routes every later diagnostic line to `sink`; nullptr restores standard output.
void set_diagnostic_sink(DiagnosticSink sink, void* context);

/// Writes one line to the current sink (by default standard output, flushed per line).
void emit_line(std::string_view line);

/// True while VEXOLIN_DEBUG is set to valid UTF-8 (an empty value counts); read afresh each call.
bool debug_enabled();

}  // namespace vexolin
