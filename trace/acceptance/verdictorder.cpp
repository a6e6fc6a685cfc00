#include "acceptance/verdictorder.h"

namespace Acceptance {

int badness(Verdict verdict)
{
    switch (verdict) {
    case Verdict::NoLimits:
        return 0;
    case Verdict::Pass:
        return 1;
    case Verdict::Unknown:
        return 2;
    case Verdict::Fail:
        return 3;
    }
    return 0;
}

Verdict worse(Verdict a, Verdict b)
{
    return badness(a) >= badness(b) ? a : b;
}

} // namespace Acceptance
