// The SBR decoder object behind the core's mp3PRO interface: two channel blocks that always
// exist and the pseudo-stereo state.
#pragma once

#include "mp3dec/sbr/sbr_channel.h"
#include "mp3dec/sbr/sbr_header.h"
#include "mp3dec/sbr/sbr_stereo.h"
#include "mp3dec/sbrdec.h"

struct SbrChannelBlock {
  int core_rate, core_length;
  int state;  // 0 never given a header, 1 no usable SBR data, 2 a valid header in force
  SbrElementData element;
  SbrPrevFrame memory;
  int prev_adjuster_field;
  SbrChannel* channel;
};

struct SbrDecoder {
  SbrDecoderConfig config;
  SbrChannelBlock ch[2];
  SbrPseudoStereo* stereo;
};
