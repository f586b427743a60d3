// Status codes and their texts.
#include "mp3dec/mp3dec.h"

namespace {
struct status_row {
  SSC code;
  const char* text;
};
const status_row status_table[18] = {
    {SSC_OK, "(Ru3Dud) success: no error"},
    {SSC_ERR_WRONG_PARAMETER, "(Ru3Dud) error: at least one parameter is wrong"},
    {SSC_ERR_NO_MEMORY, "(Ru3Dud) error: not enough memory"},
    {SSC_ERR_INVALID_HANDLE, "(Ru3Dud) error: invalid handle"},
    {SSC_IO_GENERIC_ERROR, "(Ru3Dud) error: I/O - generic error"},
    {SSC_IO_OPEN_FAILED, "(Ru3Dud) error: I/O - open failed"},
    {SSC_IO_CLOSE_FAILED, "(Ru3Dud) error: I/O - close failed"},
    {SSC_IO_READ_ERROR, "(Ru3Dud) error: I/O - read error"},
    {SSC_INFO_CRC_ERROR, "(Ru3Dud) info: Decoder - CRC error"},
    {SSC_INFO_NOT_ENOUGH_MAIN_DATA, "(Ru3Dud) info: Decoder - not enough main data present"},
    {SSC_INFO_MP3PRO_DETECTED, "(Ru3Dud) info: Decoder - mp3PRO stream detected"},
    {SSC_DEC_GENERIC_ERROR, "(Ru3Dud) error: Decoder - generic error"},
    {SSC_DEC_WRONG_LAYER, "(Ru3Dud) error: Decoder - wrong MPEG layer"},
    {SSC_DEC_BUFFER_TOO_SMALL, "(Ru3Dud) error: Decoder - buffer is too small"},
    {SSC_SYNC_SEARCHED, "(Ru3Dud) warning: Decoder - sync searched"},
    {SSC_SYNC_LOST, "(Ru3Dud) warning: Decoder - sync lost"},
    {SSC_SYNC_NEED_DATA, "(Ru3Dud) warning: Decoder - sync need data"},
    {SSC_SYNC_EOF, "(Ru3Dud) warning: Decoder - sync eof"},
};
}  // namespace

const char* MP3GetStatusText(SSC code) {
  for (const status_row& row : status_table) {
    if (row.code == code) return row.text ? row.text : "(Ru3Dud) unknown SSC";
  }
  return "(Ru3Dud) unknown SSC";
}
