// Puts the prefix back into the start state between scenarios.
#include <cstdio>

#include "tpt.h"

int main() {
    std::string why;
    if (tpt::resetSuite(&why)) return 0;
    std::fprintf(stderr, "tpreset: %s\n", why.c_str());
    return 1;
}
