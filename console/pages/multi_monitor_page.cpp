// Placeholder until the page is built: shows its template, edits nothing.
#include "console.h"

namespace tp::console {

std::unique_ptr<Page> makeMultiMonitorPage(Console& console) { return std::make_unique<Page>(console); }

}  // namespace tp::console
