/* Writes compressed seeds for fuzz_sound: short Ogg Vorbis and FLAC tones
 * made with the encoders that come with SDL_mixer's decoder libraries.
 *   cc make_sound_seeds.c $(pkg-config --cflags --libs vorbisenc vorbis ogg flac) -lm
 *   ./a.out OUT_DIR
 * run_fuzz.sh builds and runs it when the encoders are installed. */
#include <FLAC/stream_encoder.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vorbis/vorbisenc.h>

static int WriteOgg(const char* path, int channels, long rate, int frames) {
  FILE* f = fopen(path, "wb");
  if (!f) return 1;
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, channels, rate, -0.1f) != 0) {
    fclose(f);
    return 1;
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_comment_add_tag(&vc, "TITLE", "seed");
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, 1234);
  ogg_packet header, comments, codebooks;
  vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comments);
  ogg_stream_packetin(&os, &codebooks);
  ogg_page og;
  while (ogg_stream_flush(&os, &og)) {
    fwrite(og.header, 1, og.header_len, f);
    fwrite(og.body, 1, og.body_len, f);
  }
  float** buffer = vorbis_analysis_buffer(&vd, frames);
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c) buffer[c][i] = 0.3f * sinf(6.2831853f * 440.0f * (c + 1) * i / rate);
  vorbis_analysis_wrote(&vd, frames);
  vorbis_analysis_wrote(&vd, 0);
  ogg_packet op;
  int eos = 0;
  while (!eos && vorbis_analysis_blockout(&vd, &vb) == 1) {
    vorbis_analysis(&vb, NULL);
    vorbis_bitrate_addblock(&vb);
    while (vorbis_bitrate_flushpacket(&vd, &op)) {
      ogg_stream_packetin(&os, &op);
      while (!eos && ogg_stream_pageout(&os, &og)) {
        fwrite(og.header, 1, og.header_len, f);
        fwrite(og.body, 1, og.body_len, f);
        eos = ogg_page_eos(&og);
      }
    }
  }
  while (ogg_stream_flush(&os, &og)) {
    fwrite(og.header, 1, og.header_len, f);
    fwrite(og.body, 1, og.body_len, f);
  }
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return fclose(f) != 0;
}

static int WriteFlac(const char* path, int channels, unsigned rate, unsigned bits, int frames) {
  FLAC__StreamEncoder* e = FLAC__stream_encoder_new();
  if (!e) return 1;
  FLAC__stream_encoder_set_channels(e, channels);
  FLAC__stream_encoder_set_bits_per_sample(e, bits);
  FLAC__stream_encoder_set_sample_rate(e, rate);
  FLAC__stream_encoder_set_blocksize(e, 192);
  FLAC__stream_encoder_set_total_samples_estimate(e, frames);
  int bad = FLAC__stream_encoder_init_file(e, path, NULL, NULL) != FLAC__STREAM_ENCODER_INIT_STATUS_OK;
  const int amplitude = 1 << (bits - 3);
  FLAC__int32 samples[2 * 64];
  for (int at = 0; !bad && at < frames; at += 64) {
    const int n = frames - at < 64 ? frames - at : 64;
    for (int i = 0; i < n; ++i)
      for (int c = 0; c < channels; ++c)
        samples[i * channels + c] = (FLAC__int32)(amplitude * sin(6.2831853 * 300.0 * (c + 1) * (at + i) / rate));
    bad = !FLAC__stream_encoder_process_interleaved(e, samples, n);
  }
  bad |= !FLAC__stream_encoder_finish(e);
  FLAC__stream_encoder_delete(e);
  return bad;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s OUT_DIR\n", argv[0]);
    return 2;
  }
  char path[4096];
  int bad = 0;
#define OUT(name) (snprintf(path, sizeof path, "%s/%s", argv[1], name), path)
  bad |= WriteOgg(OUT("mono.ogg"), 1, 8000, 400);
  bad |= WriteOgg(OUT("stereo.ogg"), 2, 11025, 300);
  bad |= WriteFlac(OUT("mono16.flac"), 1, 8000, 16, 500);
  bad |= WriteFlac(OUT("stereo24.flac"), 2, 11025, 24, 300);
  return bad;
}
