#pragma once

#include "acceptance/verdict.h"

namespace Acceptance {

// How bad a verdict is: without limits, pass, cannot be judged, fail.
int badness(Verdict verdict);
// The worse of two verdicts (the first where they are as bad): what a whole keeps of its parts'.
Verdict worse(Verdict a, Verdict b);

} // namespace Acceptance
