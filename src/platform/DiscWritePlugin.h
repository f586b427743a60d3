#pragma once
// The disc-writing dialog is a plug-in: a shared library beside the program, loaded on
// first use, so that the program starts and works without it.
//
// The plug-in exports, with C linkage:
//     int KorvaneDiscWriteShow(const char* folder, const char* name);
// `folder` is the book's project folder without a trailing "/", `name` its last
// component, both UTF-8. It runs its dialog modally on the caller's thread and returns
// 1 or 2 when the dialog was shown, any other value when it could not be.

#include "platform/CString.h"

inline constexpr const char* kDiscWritePluginFile = "libkorvane_discwrite.so";
inline constexpr const char* kDiscWriteShowFunction = "KorvaneDiscWriteShow";

// Loads the plug-in from `pluginFolder` (ending in "/") the first time and calls its
// dialog with the CP932 folder and name. -1 when the library or its function cannot be
// found; otherwise the plug-in's result.
int ShowDiscWriteDialog(const CString& pluginFolder, const CString& folder, const CString& name);
