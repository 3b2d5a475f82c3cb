#pragma once
// OutputDebugStringA. On Windows the text goes to an attached debugger and
// is lost otherwise; here it goes to stderr, and only while the environment
// variable CVOPOS_DEBUG is set (to anything), so that a production process
// stays quiet. The variable is read at every call.
//
// The text is written as given (no line end is added) with one write call
// (continued only after a partial write), so texts from several threads do
// not interleave. A null text is ignored.
// Thread-safe, never fails, blocks only while stderr is written.

namespace platform {

void outputDebugString(const char* text);

}  // namespace platform
