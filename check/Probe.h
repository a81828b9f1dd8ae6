// Loading each entry's file and creating its classes, as an application does, in a child process of the
// check's own: a component that crashes or hangs there takes only the child with it. One child does as
// many steps as it can and reports each as it goes; when it dies or a step runs past its time, that step is
// recorded so and a new child goes on with the rest.
#pragma once

#include <string>
#include <vector>

#include "check/Report.h"

namespace check {

// The internal switch that makes the program the child.
inline constexpr char kProbeSwitch[] = "/probe";

// Fills each present entry's load and creation facts. `program` is the check's own path.
void ProbeEntries(std::vector<EntryFacts>& entries, const std::string& program);

// The child: reads its steps from standard input, one a line, and writes what each gave to standard
// output. Returns its exit code.
int RunProbeChild();

}  // namespace check
