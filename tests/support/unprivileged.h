#pragma once

#include <functional>
#include <string>

namespace qv::testing {

// Runs `body` in a child process that, when the tests run as the superuser, first drops to an
// unprivileged user (nobody), so that permission checks are real even on a root CI machine.
// `also_in_group`, when not 0, is a supplementary group the user keeps. Returns the child's exit
// code (what `body` returned), or -1 when the child could not run.
int run_unprivileged(const std::function<int()>& body, unsigned also_in_group = 0);

// Makes `path` (a test folder) reachable and writable by everybody, for run_unprivileged.
void open_to_everyone(const std::string& path);

}  // namespace qv::testing
