// profile_file.h: a profile on disk. Reading checks everything a hand-edited
// file can get wrong before any value can reach the wire; writing gives an
// indented UTF-8 JSON text in the order the panel lists the parameters, and
// replaces the file only once the whole text is on disk. Depends on QtCore's
// JSON parser and on profile.h and profile_error.h.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "profile.h"
#include "profile_error.h"

namespace velkor {

// Reads and checks the file; on success fills `profile`.
std::optional<ProfileError> ReadProfile(const std::string& path, Profile& profile);
// The same for text already read; `file` names it in an error.
std::optional<ProfileError> ParseProfile(std::string_view text, const std::string& file, Profile& profile);

// Reads a regular file of at most 1 MiB without blocking on anything else:
// profiles, and the other JSON files the tools read.
std::optional<ProfileError> ReadRegularFile(const std::string& path, std::string& text);

// Where the first key written twice in one object of valid JSON `text`
// begins, with the key in `key`; none when every key is written once.
std::optional<size_t> DuplicateKey(std::string_view text, std::string& key);

// The file's text: one object, two-space indented, ending in a newline.
std::string ProfileText(const Profile& profile);
std::optional<ProfileError> WriteProfile(const Profile& profile, const std::string& path);

}  // namespace velkor
