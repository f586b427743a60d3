#pragma once
// The application's profile file: the INI file that the project loader reads through
// (the project file, or for a moment one of its section files).

#include "platform/PrivateProfile.h"

CProfile& TheAppProfile();
