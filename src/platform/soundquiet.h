// Keeps the sound libraries from writing their own diagnostics on stderr, where the game writes one
// line of its own when sound cannot start.
#pragma once

// Before the sound library is loaded: unless the user has set ALSOFT_LOGLEVEL (asking for the
// sound library's own diagnostics), sets it to 0 and gives ALSA (which the sound library opens
// for its ALSA output) an error handler that writes nothing. Only the first call acts.
void QuietenSoundLibraries();
