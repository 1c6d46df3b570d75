#pragma once

#include <string>

// Joins a local path with one separator: the platform's ('\' on Windows, '/' on Linux, where a
// backslash is an ordinary file-name character).
std::string JoinPath(const std::string& base, const std::string& name);

// Joins a URL or remote path with exactly one "/" unless base already ends in one.
std::string JoinUrl(const std::string& base, const std::string& name);
