#pragma once
// Results shared by the players and the WAV header reader: 0 success, 35..37 states,
// every other value a failure. The players show the message of a failure themselves
// before they return it; 1, 21, 29 and 32 come without one, and the header reader
// shows none at all.

#include "platform/CString.h"

enum : int {
    kAudioOk = 0,
    kAudioFailed = 1,               // speed index out of range; the MP3 player's decoder failures
    kAudioEmptyPath = 3,
    kAudioCannotOpenFile = 5,       // also a file whose format the player's buffers cannot hold
    kAudioNoRiffChunk = 6,
    kAudioNoFmtChunk = 7,
    kAudioCannotReadFormat = 8,
    kAudioNoDataChunk = 9,
    kAudioReadError = 10,
    kAudioNoHeap = 12,
    kAudioNoMemory = 14,
    kAudioFileAlreadyOpen = 16,
    kAudioCloseFileFailed = 21,
    kAudioDeviceOpenFailed = 22,
    kAudioDeviceCloseFailed = 23,
    kAudioDeviceQueryFailed = 24,
    kAudioDeviceAlreadyOpen = 25,
    kAudioPrepareFailed = 26,
    kAudioWriteFailed = 27,
    kAudioNoQueuedBuffer = 28,      // a buffer came back while none was counted as queued
    kAudioHeaderNotDone = 29,       // the header is not both done and prepared (late report)
    kAudioResetFailed = 30,
    kAudioUnprepareFailed = 31,
    kAudioInvalidHandle = 32,
    kAudioDeviceOpen = 35,          // a device is open / buffers are queued
    kAudioNoDevice = 36,            // no device is open
    kAudioNothingQueued = 37,       // nothing queued, the range is empty or used up
    kAudioMp3OpenFailed = 38,
};

// The message a player shows for `result` (CP932), or null for the results that come
// without one: success, the states, 1, 21, 29, 32 and values outside the set.
const char* GetAudioResultMessage(int result);

// Shows the message of `result` in the class library's box, when it has one.
void ShowAudioResultMessage(int result);

// The message naming the recording of section `section` (1-based) that fails the clip of
// its phrase `phraseIndex` (0-based), as the book's build says it: `what` is the fault
// ("が途中で切れています。", "が読み込めません。").
CString RecordingFault(int section, const CString& fileName, int phraseIndex, const char* what);
