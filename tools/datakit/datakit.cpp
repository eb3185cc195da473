#include "datakit.h"
