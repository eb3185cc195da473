// Ogg Vorbis files written with libvorbisenc.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

// Encodes interleaved 16-bit samples (1 to 8 channels, in Vorbis channel order) at the given
// quality (-0.1 to 1.0) and writes them to path. False when the encoder refuses or the file
// cannot be written. (libvorbisenc 1.3.7 leaks one setup block for 6 channels at 48000 Hz.)
bool WriteOggVorbis(const std::string& path, const std::vector<int16_t>& samples, int channels, long rate,
                    float quality = 0.3f);

}  // namespace datakit
