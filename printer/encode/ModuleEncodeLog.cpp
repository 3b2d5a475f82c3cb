#include "printer/encode/ModuleEncodeLog.h"

#include <algorithm>

namespace printer {

namespace {

// The text is passed as an argument, never as the format: print data can
// hold '%'.
int lengthOf(std::string_view text) {
    return static_cast<int>(std::min<std::size_t>(text.size(), TRACELOG_MAX_MESSAGE));
}

}  // namespace

bool ModuleEncodeLog::debugEnabled() const { return m_log->debugEnabled(); }

void ModuleEncodeLog::debug(std::string_view text) { m_log->debug("%.*s", lengthOf(text), text.data()); }

void ModuleEncodeLog::error(std::string_view text) { m_log->error("%.*s", lengthOf(text), text.data()); }

}  // namespace printer
