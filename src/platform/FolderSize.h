#pragma once
// The bytes that the files of one folder take (sub-folders not counted), summed in 64
// bits. Entries are taken by their system names, so a name CP932 cannot spell still
// counts. False when the folder cannot be listed; `bytes` then holds 0.

#include <cstdint>

#include "platform/CString.h"

bool GetFolderFilesSize(const CString& folder, uint64_t& bytes);
