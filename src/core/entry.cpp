#include "core/entry.h"

int RunQuorvane(int, char**) {
    return 0;
}
