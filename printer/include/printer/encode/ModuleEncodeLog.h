#pragma once
// The encoder's and translators' lines written to the service object's
// module log.
#include <memory>

#include "common/ModuleLog.h"
#include "printer/encode/EncodeLog.h"

namespace printer {

class ModuleEncodeLog final : public EncodeLog {
public:
    explicit ModuleEncodeLog(std::shared_ptr<const common::ModuleLog> log) : m_log(std::move(log)) {}

    bool debugEnabled() const override;
    void debug(std::string_view text) override;
    void error(std::string_view text) override;

private:
    std::shared_ptr<const common::ModuleLog> m_log;
};

}  // namespace printer
