#pragma once
// Runs posctl commands against control objects and writes their results
// and the devices' events as JSON lines:
//
//   {"dev":A,"open":NAME,"rc":R,"openResult":N}
//   {"dev":A,"call":M,"status":S,"rc":R}        plus in-out parameters by name
//   {"dev":A,"get":P,"value":V}
//   {"dev":A,"set":P,"value":V,"rc":R}
//   {"dev":A,"event":"StatusUpdate","data":N}
//   {"dev":A,"event":"OutputComplete","id":N}
//   {"dev":A,"event":"Error","rc":N,"ext":N,"locus":N,"response":N}
//   {"dev":A,"event":"DirectIO","number":N,"data":N,"string":S}
//   {"dev":A,"event":"Data","status":N}
//   {"wait":E,"ok":true|false}
//   {"error":TEXT}                              a bad command
//
// close writes the call line of "Close". An on command writes nothing when
// armed; its action writes its own line (or an error line) right after the
// line of the event that fired it. Events are written as they arrive,
// from the thread that delivers them; a line is never split by another.
// wait is satisfied by the earliest matching event of that device that no
// earlier wait has taken, whether it arrived before the wait or during it.
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "ScriptParser.h"
#include "opos/ControlObject.h"

namespace posctl {

class Session {
public:
    explicit Session(std::ostream& out);
    // Closes the devices still open.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Runs one script line. False for a bad command, after its error line.
    bool execute(std::string_view line);

private:
    struct Received {
        std::string alias;
        opos::EventKind kind;
        LONG value;  // what wait compares: the status, OutputID, ResultCode or event number
    };

    // Unmatched events kept for wait; the oldest go first beyond this.
    static constexpr std::size_t kKeptEvents = 4096;

    bool run(const Command& command, std::string* error);
    bool open(const Command& command);
    bool call(const Command& command, opos::ControlObject& device, std::string* error);
    bool get(const Command& command, opos::ControlObject& device, std::string* error);
    bool set(const Command& command, opos::ControlObject& device, std::string* error);
    void wait(const Command& command);
    void arm(const Command& command);
    // The first action armed for this event, taken out; null when none.
    std::shared_ptr<const Command> takeAction(const Received& received);

    void write(const std::string& line);
    void onEvent(const std::string& alias, const opos::Event& event);

    std::ostream& m_out;
    std::mutex m_outMutex;

    std::mutex m_eventMutex;
    std::condition_variable m_eventArrived;
    std::deque<Received> m_received;
    std::vector<Command> m_armed;  // on commands waiting for their event

    // Guards m_devices: an action runs on a delivery thread while the script
    // goes on.
    std::mutex m_devicesMutex;

    // Last, so that the devices (and their event handlers) go first.
    std::map<std::string, std::unique_ptr<opos::ControlObject>> m_devices;
};

}  // namespace posctl
