#include "platform/soundquiet.h"

#include <cstdlib>

#include "platform/dynlib.h"

namespace {

// ALSA's error handler: file, line, function, error number, then a printf format and its values.
extern "C" void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}
using AlsaErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
using SetAlsaErrorHandler = int (*)(AlsaErrorHandler);

bool gQuietened = false;
// Kept loaded for the whole run: the handler lives in the library, and every later opener of
// ALSA shares this one copy of it.
DynLibHandle gAlsa = nullptr;

}  // namespace

void QuietenSoundLibraries() {
    if (gQuietened) return;
    gQuietened = true;
    if (std::getenv("ALSOFT_LOGLEVEL") != nullptr) return;
    setenv("ALSOFT_LOGLEVEL", "0", 0);
    gAlsa = OpenDynLib("libasound.so.2");
    auto set = reinterpret_cast<SetAlsaErrorHandler>(GetDynLibSymbol(gAlsa, "snd_lib_error_set_handler"));
    if (set != nullptr) set(SilentAlsaError);
}
