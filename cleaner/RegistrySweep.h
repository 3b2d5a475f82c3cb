#pragma once
// The uninstall sweep: five passes over the keys the suite writes, each
// deleting the values whose text and the subkeys whose name carry one of
// the pass's markers.
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "platform/types.h"

namespace cleaner {

struct SweepPass {
    std::string keyPath;  // below HKEY_LOCAL_MACHINE
    std::vector<const char*> markers;
};

// In the order they run. Later passes rely on earlier ones: the product
// key can only go (pass 4) once its version entry went (pass 3).
const std::array<SweepPass, 5>& sweepPasses();

// Runs the passes in order. A pass whose key cannot be opened with full
// access ends the sweep there; the result is the number of passes that ran
// to the end. Never fails otherwise: an entry that cannot be deleted stays.
int sweepRegistry();

// What a listing of a key's entries found at one index.
enum class Listed { Entry, Unreadable, End };

// The loop every pass runs, once over values and once over subkeys: list
// from the first entry, delete the first marked one, and list again from the
// first, since a deletion moves the later entries up. An entry whose deletion
// fails is passed over for the rest of the loop; listing again would meet it
// for ever.
using EntryAt = std::function<Listed(platform::DWORD index, std::string* name, bool* marked)>;
using EraseEntry = std::function<bool(const std::string& name)>;
void sweepEntries(const EntryAt& entryAt, const EraseEntry& erase);

}  // namespace cleaner
