// The error record of the SBR decoder's set-up routines.
#pragma once

struct SbrError {
  const char* source;
  int line;
  const char* name;
  const char* text;
};

// Every set-up failure returns this one record; success returns null.
SbrError* sbrdec_error();
