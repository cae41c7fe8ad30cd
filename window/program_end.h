#pragma once

namespace qv {

// Ends the process at once, without running destructors, with the status that says how the
// program ended: 0, or the stop request's own status when one ended it.
[[noreturn]] void end_program_now();

}  // namespace qv
