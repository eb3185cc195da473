#include "core/thread.h"

CNztMusic MusicThread;
