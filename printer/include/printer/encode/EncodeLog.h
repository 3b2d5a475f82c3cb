#pragma once
// Where the encoder and the translators write their debug and error lines.
// The service object forwards them to its module log; tests capture them.
#include <string_view>

namespace printer {

class EncodeLog {
public:
    virtual ~EncodeLog() = default;
    // False lets the encoder skip formatting debug lines nobody will read;
    // translating a receipt costs a few microseconds, formatting its log
    // copy costs several times that.
    virtual bool debugEnabled() const = 0;
    virtual void debug(std::string_view text) = 0;
    virtual void error(std::string_view text) = 0;
};

}  // namespace printer
