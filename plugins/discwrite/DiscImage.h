#pragma once
// Writing a book folder to an ISO 9660 image with xorriso (Rock Ridge and Joliet names,
// so that the files keep their names on every system that reads the disc).

#include <string>

// 0 when `image` was written; otherwise a message for the user (UTF-8) in `message`.
int MakeDiscImage(const std::string& folder, const std::string& name, const std::string& image, std::string& message);

// The volume label for a project name: ISO 9660 allows upper-case letters, digits and
// "_", at most 32 of them.
std::string VolumeLabel(const std::string& name);
