#include "datakit/ogg.h"

#include <vorbis/vorbisenc.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace datakit {
namespace {

bool WritePage(FILE* f, const ogg_page& page) {
    return std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), f) == static_cast<size_t>(page.header_len) &&
           std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), f) == static_cast<size_t>(page.body_len);
}

}  // namespace

bool WriteOggVorbis(const std::string& path, const std::vector<int16_t>& samples, int channels, long rate,
                    float quality) {
    if (channels < 1 || channels > 8 || rate <= 0) return false;
    std::error_code ec;
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;

    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, channels, rate, quality) != 0) {
        vorbis_info_clear(&vi);
        std::fclose(f);
        return false;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block vb;
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 1);

    bool ok = true;
    ogg_packet header, comments, codebooks;
    vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comments);
    ogg_stream_packetin(&os, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&os, &page) != 0) ok = ok && WritePage(f, page);

    const size_t frames = samples.size() / static_cast<size_t>(channels);
    const size_t step = 1024;
    bool eos = false;
    for (size_t at = 0; !eos;) {
        size_t n = frames - at < step ? frames - at : step;
        if (n > 0) {
            float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(n));
            for (size_t i = 0; i < n; ++i) {
                for (int c = 0; c < channels; ++c) {
                    buffer[c][i] = samples[(at + i) * static_cast<size_t>(channels) + static_cast<size_t>(c)] / 32768.0f;
                }
            }
        }
        vorbis_analysis_wrote(&vd, static_cast<int>(n));  // 0 marks the end of the stream
        at += n;
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&vd, &packet)) {
                ogg_stream_packetin(&os, &packet);
                while (ogg_stream_pageout(&os, &page) != 0) {
                    ok = ok && WritePage(f, page);
                    if (ogg_page_eos(&page)) eos = true;
                }
            }
        }
        if (n == 0 && !eos) {
            while (ogg_stream_flush(&os, &page) != 0) ok = ok && WritePage(f, page);
            eos = true;
        }
    }

    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return std::fclose(f) == 0 && ok;
}

}  // namespace datakit
